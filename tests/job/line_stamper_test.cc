#include "job/line_stamper.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "support/stamp_model.h"
#include "support/string_sink.h"

namespace {

const std::string kStamp = StampFor("2.1");

// The new list for `old_list`, fed in pieces of `piece_size` bytes.
std::string Stamp(const std::string& old_list, size_t piece_size = 1 << 20) {
  LineStamper stamper(kStamp, EncodingOf(old_list));
  StringSink out;
  for (size_t at = 0; at < old_list.size(); at += piece_size)
    stamper.Feed(std::string_view(old_list).substr(at, piece_size), out);
  stamper.Finish(out);
  return out.text;
}

TEST(StampLine, IsTheMarkerNineteenBlanksAndTheVersion) {
  EXPECT_EQ(StampLine("2.1"), kStamp);
  EXPECT_EQ(StampLine(""), StampFor(""));
  EXPECT_EQ(StampLine("").size(), 42u);
}

TEST(LineStamper, ReplacesTheFirstMarkedLineAndDropsLaterOnes) {
  EXPECT_EQ(Stamp("one\r\nService Pack 1\r\nthree\r\nold Service Pack 2\r\n"),
            "one\r\n" + kStamp + "\r\nthree\r\n");
  EXPECT_EQ(Stamp("Service Pack\r\nService Pack\r\n"), kStamp + "\r\n");
  EXPECT_EQ(Stamp("xService Packy\r\n"), kStamp + "\r\n");
}

TEST(LineStamper, AppendsTheStampWhenNoLineIsMarked) {
  EXPECT_EQ(Stamp(""), kStamp + "\r\n");
  EXPECT_EQ(Stamp("a\r\nb\r\n"), "a\r\nb\r\n" + kStamp + "\r\n");
  EXPECT_EQ(Stamp("service pack 3\r\nSERVICE PACK\r\nService  Pack\r\nServicePack\r\n"),
            "service pack 3\r\nSERVICE PACK\r\nService  Pack\r\nServicePack\r\n" + kStamp + "\r\n");
}

TEST(LineStamper, EndsLinesAtCrOrCrLfAndWritesCrLf) {
  EXPECT_EQ(Stamp("a\rb\r\nc"), "a\r\nb\r\nc\r\n" + kStamp + "\r\n");  // last line without end
  EXPECT_EQ(Stamp("a\nb\r\n"), "a\nb\r\n" + kStamp + "\r\n");  // a lone LF stays in the line
  EXPECT_EQ(Stamp("\n"), "\n\r\n" + kStamp + "\r\n");
  EXPECT_EQ(Stamp("\r\n\r\n"), "\r\n\r\n" + kStamp + "\r\n");  // empty lines stay
  EXPECT_EQ(Stamp("\r\r\n"), "\r\n\r\n" + kStamp + "\r\n");
  EXPECT_EQ(Stamp("a\n\rb"), "a\n\r\nb\r\n" + kStamp + "\r\n");
  EXPECT_EQ(Stamp("Service Pack\nx\r\ny"), kStamp + "\r\ny\r\n");  // LF joins the marked line
}

TEST(LineStamper, PassesEveryOtherByteThrough) {
  const std::string odd("caf\xE9 \x00\x1A\x7F\xFF\t end", 14);
  EXPECT_EQ(Stamp(odd + "\r\n"), odd + "\r\n" + kStamp + "\r\n");
  EXPECT_EQ(Stamp(std::string("\x00Service Pack\x00\r\n", 16)), kStamp + "\r\n");
}

TEST(LineStamper, StampsAUtf16ListInItsOwnByteOrderBehindItsMark) {
  const std::u16string stamp(kStamp.begin(), kStamp.end());
  for (bool big_endian : {false, true}) {
    const std::string mark = big_endian ? "\xFE\xFF" : "\xFF\xFE";
    const auto utf16 = [&](const std::u16string& text) {
      return mark + Utf16Bytes(text, big_endian);
    };
    const std::string old_list =
        utf16(u"one\rService Pack 1\r\nt\nwo\r\nold Service Pack 2\r\nlast");
    for (size_t piece_size : {1u, 2u, 3u, 7u, 1u << 20})
      EXPECT_EQ(Stamp(old_list, piece_size), utf16(u"one\r\n" + stamp + u"\r\nt\nwo\r\nlast\r\n"))
          << big_endian << " " << piece_size;
    EXPECT_EQ(Stamp(mark), utf16(stamp + u"\r\n"));
    // Bytes of CR and LF inside other characters end no line.
    EXPECT_EQ(Stamp(utf16(u"\u0D0A\u0A0D\r")), utf16(u"\u0D0A\u0A0D\r\n" + stamp + u"\r\n"));
    // The marker's bytes one byte off the units' bounds are other characters.
    const std::string shifted = "A" + Utf16Bytes(u"Service Pack", big_endian) + "A";
    EXPECT_EQ(Stamp(mark + shifted),
              mark + shifted + Utf16Bytes(u"\r\n" + stamp + u"\r\n", big_endian));
    // Half a unit at the end belongs to no line and stays last.
    EXPECT_EQ(Stamp(utf16(u"a") + "z", 1), utf16(u"a\r\n" + stamp + u"\r\n") + "z");
  }
}

TEST(LineStamper, KeepsAUtf8MarkFirst) {
  const std::string mark = "\xEF\xBB\xBF";
  for (size_t piece_size : {1u, 2u, 1u << 20})
    EXPECT_EQ(Stamp(mark + "Service Pack 1\r\nx\r\n", piece_size), mark + kStamp + "\r\nx\r\n");
  EXPECT_EQ(Stamp(mark), mark + kStamp + "\r\n");
  EXPECT_EQ(Stamp("x" + mark + "y\r\n"), "x" + mark + "y\r\n" + kStamp + "\r\n");  // no mark there
}

TEST(LineStamper, GivesTheSameListHoweverThePiecesFall) {
  const std::string old_list = "head\r\nService\r\n Pack\rlong line " + std::string(300, 'x') +
                               "\r\n\nService Pack 7\r\r\nService Pack 8\ntail\r\nService Pac";
  const std::string whole = Stamp(old_list);
  EXPECT_EQ(whole, "head\r\nService\r\n Pack\r\nlong line " + std::string(300, 'x') + "\r\n" +
                       kStamp + "\r\n\r\nService Pac\r\n");
  for (size_t piece_size : {1u, 2u, 3u, 5u, 7u, 13u, 64u})
    EXPECT_EQ(Stamp(old_list, piece_size), whole) << piece_size;
}

TEST(LineStamper, AgreesWithALineByLineModelOnRandomLists) {
  const std::vector<std::string> words = {
      "a", "xyz", "\r", "\n", "\r\n", "\r\r", "Service Pack", "Service", " Pack", "S", "ack"};
  std::mt19937 random(12345);
  const std::vector<std::string> marks = {"", "\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF"};
  for (int round = 0; round < 6000; ++round) {
    std::string text;
    const size_t length = random() % 40;
    for (size_t i = 0; i < length; ++i) text += words[random() % words.size()];
    const std::string& mark = marks[random() % marks.size()];
    const std::string old_list =
        mark.size() == 2
            ? mark + Utf16Bytes(std::u16string(text.begin(), text.end()), mark[0] == '\xFE')
            : mark + text;
    const size_t piece_size = 1 + random() % 17;
    ASSERT_EQ(Stamp(old_list, piece_size), ModelStamp(old_list, kStamp))
        << testing::PrintToString(old_list) << " in pieces of " << piece_size;
  }
}

}  // namespace
