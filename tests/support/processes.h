#ifndef TAVRIN_TESTS_SUPPORT_PROCESSES_H_
#define TAVRIN_TESTS_SUPPORT_PROCESSES_H_

// The id of a running process other than this one (POSIX: the parent).
unsigned long AnotherLiveProcessId();

#endif  // TAVRIN_TESTS_SUPPORT_PROCESSES_H_
