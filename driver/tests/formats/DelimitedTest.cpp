// Splitting delimited and fixed-width text into records, and decoding its character sets.
#include "driver/formats/Delimited.h"

#include <gtest/gtest.h>

#include "driver/formats/Workbook.h"
#include "driver/tests/formats/Cells.h"

namespace tabrix::formats {
namespace {

using testing::ErrorOf;

// Each record as "line: field|field|...".
class Lines : public RecordSink {
 public:
  bool OnRecord(const Record& record) override {
    text += std::to_string(record.line) + ":";
    for (size_t f = 0; f < record.fields.size(); ++f) {
      text += (f ? "|" : "") + std::string(record.fields[f]);
    }
    text += "\n";
    return ++count < stopAfter;
  }
  std::string text;
  size_t count = 0, stopAfter = SIZE_MAX;
};

std::string Split(std::string_view input, char delimiter = ',', size_t piece = SIZE_MAX) {
  Lines lines;
  DelimitedSplitter splitter(delimiter, '"', lines);
  for (size_t at = 0; at < input.size(); at += piece) {
    splitter.Feed(input.data() + at, std::min(piece, input.size() - at));
  }
  splitter.Finish();
  return lines.text;
}

TEST(DelimitedTest, QuotingAsRfc4180) {
  const std::string input =
      "id,name,note\r\n"
      "1,\"Smith, J\",\"say \"\"hi\"\"\"\r\n"
      "2,\"two\r\nlines\",x\r\n"
      "3,,\"\"\r\n"
      "4,\"a\"b,c\"d\n";
  const std::string expected =
      "1:id|name|note\n"
      "2:1|Smith, J|say \"hi\"\n"
      "3:2|two\r\nlines|x\n"
      "5:3||\n"
      "6:4|ab|c\"d\n";
  EXPECT_EQ(Split(input), expected);
  // However the input is cut into pieces, a CRLF or a doubled quote across two of them
  // included, the records and their lines are the same.
  for (size_t piece : {1, 2, 3, 5, 7}) EXPECT_EQ(Split(input, ',', piece), expected) << piece;
}

TEST(DelimitedTest, LineEndsBlankLinesAndTheLastLine) {
  EXPECT_EQ(Split("a,b\nc,d"), "1:a|b\n2:c|d\n");            // no end on the last line
  EXPECT_EQ(Split("a\rb\r\nc\n\n\nd\r"), "1:a\n2:b\n3:c\n6:d\n");  // CR alone ends a line too
  EXPECT_EQ(Split(""), "");
  EXPECT_EQ(Split("\n\r\n"), "");
  EXPECT_EQ(Split(",\n"), "1:|\n");                          // two empty fields are a record
  EXPECT_EQ(Split("\"\"\n"), "1:\n");                        // so is one quoted empty field
  EXPECT_EQ(Split("a\tb\t\"c\td\"\n", '\t'), "1:a|b|c\td\n");
  EXPECT_EQ(Split("a;b,c\n", ';'), "1:a|b,c\n");
}

TEST(DelimitedTest, AnOpenQuoteOrAnEndlessRecordIsToldByItsLine) {
  EXPECT_EQ(ErrorOf([] { Split("a\nb,\"open\nmore\n"); }),
            "line 2: a quoted field that is not closed by the end of the file");
  // A record is never held beyond its bound, however the bytes come.
  Lines lines;
  DelimitedSplitter splitter(',', '"', lines);
  splitter.Feed("ok\n\"", 4);
  const std::string piece(1 << 20, 'x');
  std::string error = ErrorOf([&] {
    for (size_t fed = 0; fed <= DelimitedSplitter::kMaxRecordBytes; fed += piece.size()) {
      splitter.Feed(piece.data(), piece.size());
    }
  });
  EXPECT_EQ(error, "line 2: a record longer than 64 MB (a quote not closed, or not a file of text records)");
  EXPECT_EQ(lines.text, "1:ok\n");
}

TEST(DelimitedTest, TheSinkStopsTheSplitting) {
  Lines lines;
  lines.stopAfter = 2;
  DelimitedSplitter splitter(',', '"', lines);
  EXPECT_FALSE(splitter.Feed("1\n2\n3\n", 6));
  EXPECT_FALSE(splitter.Finish());
  EXPECT_EQ(lines.text, "1:1\n2:2\n");
}

TEST(DelimitedTest, FixedWidthsCutCharactersAndTellWhatIsLeft) {
  Lines lines;
  FixedSplitter splitter({3, 4}, true, lines);
  const std::string input = "abcdefg\r\n  1 2  \n\nZür1234extra\nxy";
  splitter.Feed(input.data(), input.size());
  splitter.Finish();
  // "ü" is one character of two bytes; blanks around a field are not its value.
  EXPECT_EQ(lines.text, "1:abc|defg\n2:1|2\n4:Zür|1234|extra\n5:xy|\n");
}

TEST(DelimitedTest, CharacterSets) {
  std::string out;
  EXPECT_TRUE(DecodeText("plain", Charset::Cp437, out));
  EXPECT_EQ(out, "plain");
  EXPECT_TRUE(DecodeText("\x80 \x81 \xE9", Charset::Cp1252, out));
  EXPECT_EQ(out, "€ \xC2\x81 é");  // the unassigned 0x81 kept as U+0081
  EXPECT_TRUE(DecodeText("\x9B\x81", Charset::Cp437, out));
  EXPECT_EQ(out, "¢ü");
  EXPECT_TRUE(DecodeText("\x9B\x81", Charset::Cp850, out));
  EXPECT_EQ(out, "øü");
  // Auto: UTF-8 where it is, else code page 1252, so no byte is lost.
  EXPECT_TRUE(DecodeText("Zürich", Charset::Auto, out));
  EXPECT_EQ(out, "Zürich");
  EXPECT_TRUE(DecodeText("Z\xFCrich", Charset::Auto, out));
  EXPECT_EQ(out, "Zürich");
  // Declared UTF-8 that is not: the bytes become U+FFFD, and the caller is told.
  EXPECT_FALSE(DecodeText("a\xFF" "b\xC3", Charset::Utf8, out));
  EXPECT_EQ(out, "a\xEF\xBF\xBD" "b\xEF\xBF\xBD");
  EXPECT_FALSE(DecodeText("\xED\xA0\x80", Charset::Utf8, out));  // a surrogate is not UTF-8
  EXPECT_FALSE(DecodeText("\xC0\xAF", Charset::Utf8, out));      // nor an overlong form
}

}  // namespace
}  // namespace tabrix::formats
