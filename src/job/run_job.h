#ifndef TAVRIN_JOB_RUN_JOB_H_
#define TAVRIN_JOB_RUN_JOB_H_

// The whole run: builds the location table with its environment overrides,
// reads the installed version and stamps the software list. Throws RunError
// at the first step that fails; nothing done before it is undone.
void RunJob();

#endif  // TAVRIN_JOB_RUN_JOB_H_
