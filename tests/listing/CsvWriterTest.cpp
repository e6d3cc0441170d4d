#include <gtest/gtest.h>

#include "listing/CHCSVWriter.h"
#include "listing/MemoryOutputStream.h"
#include "support/TestSupport.h"

namespace kelvara {
namespace {

using namespace std::literals;

// A writer into memory; `bytes` reads what reached the stream.
struct MemoryWriter {
    explicit MemoryWriter(const std::string& encoding = "UTF-8", char16_t delimiter = u',') {
        auto stream = std::make_unique<MemoryOutputStream>();
        memory = stream.get();
        writer = std::make_unique<CHCSVWriter>(std::move(stream), encoding, delimiter);
    }
    const std::string& bytes() const { return memory->bytes(); }
    MemoryOutputStream* memory;
    std::unique_ptr<CHCSVWriter> writer;
};

std::string line(std::initializer_list<CHCSVWriter::Value> values) {
    MemoryWriter w;
    w.writer->writeLineOfFields(values);
    return w.bytes();
}

// Every expectation compares whole bytes from the first one: UTF-8 output never has a byte-order
// mark.
TEST(CsvWriter, QuotesOnlyFieldsWithADelimiterQuoteOrLineBreak) {
    EXPECT_EQ(line({"plain"sv, "a,b"sv}), "plain,\"a,b\"\n");
    EXPECT_EQ(line({"say \"hi\""sv}), "\"say \"\"hi\"\"\"\n");
    EXPECT_EQ(line({"  padded  "sv}), "  padded  \n");
    // Each newline character forces quotes and stays inside them as it is.
    for (const std::string& lineBreak :
         {"\n"s, "\r"s, "\v"s, "\f"s, "\r\n"s, "\u0085"s, "\u2028"s, "\u2029"s}) {
        const std::string field = "one" + lineBreak + "two";
        EXPECT_EQ(line({std::string_view(field)}), "\"" + field + "\"\n")
            << "break " << testing::PrintToString(lineBreak);
    }
    // Near misses of the multi-byte breaks are ordinary text.
    EXPECT_EQ(line({"\u2027 \u00A0 \u0084"sv}), "\u2027 \u00A0 \u0084\n");
}

TEST(CsvWriter, SeparatesFieldsAndEndsEveryLineWithOneLineFeed) {
    MemoryWriter w;
    w.writer->writeField("a"sv);
    w.writer->writeField(std::monostate{});
    w.writer->writeField("c"sv);
    w.writer->finishLine();
    w.writer->finishLine();  // a line without fields is an empty line
    w.writer->writeField(std::int64_t{-7});
    w.writer->writeLineOfFields({"x"sv});  // ends the open line first
    EXPECT_EQ(w.bytes(), "a,,c\n\n-7\nx\n");
    EXPECT_EQ(w.writer->fieldCount(), 0u);
}

TEST(CsvWriter, DescribesNumbersAndDatesAsTheListingWritesThem) {
    using namespace std::chrono;
    const Date date = sys_days{2001y / February / 3d} + hours{4} + minutes{5} + seconds{6};
    EXPECT_EQ(line({std::int64_t{0}, std::int64_t{1999}, date}),
              "0,1999,2001-02-03 04:05:06 +0000\n");
    EXPECT_EQ(line({Date{sys_days{1969y / December / 31d}}}), "1969-12-31 00:00:00 +0000\n");
}

TEST(CsvWriter, CommentsSplitAtEveryNewlineCharacter) {
    MemoryWriter w;
    w.writer->writeField("open"sv);
    w.writer->writeComment("first\nsecond\u2028third");
    EXPECT_EQ(w.bytes(), "open\n#first\n#second\n#third\n");
}

TEST(CsvWriter, BytesThatAreNotUtf8BecomeReplacementCharacters) {
    MemoryWriter w;
    // A stray byte, a cut-off character, an overlong form and a surrogate; quoting still applies.
    w.writer->writeLineOfFields({"caf\xE9"sv, "a,\xC3"sv, "\xC0\xAF\xED\xA0\x80"sv, "ok é"sv});
    w.writer->writeComment("note \xFF\nnext");
    EXPECT_EQ(w.bytes(),
              "caf\uFFFD,\"a,\uFFFD\",\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD,ok é\n#note \uFFFD\n#next\n");
}

TEST(CsvWriter, AnEncodingWithAByteOrderMarkWritesItOnceAtTheStart) {
    MemoryWriter w("UTF-16", u';');
    w.writer->writeLineOfFields({"a"sv, "b;c"sv});
    const std::string mark = w.writer->byteOrderMark();
    ASSERT_EQ(mark.size(), 2u);
    const bool little = mark == "\xFF\xFE";
    const auto utf16 = [little](std::string_view ascii) {
        std::string out;
        for (char c : ascii) out += little ? std::string{c, '\0'} : std::string{'\0', c};
        return out;
    };
    EXPECT_EQ(w.bytes(), mark + utf16("a;\"b;c\"\n"));
}

TEST(CsvWriter, AFileIsTruncatedAndClosedWhenTheWriterGoes) {
    test::TempDir dir;
    const auto file = dir / "out.csv";
    test::writeFile(file, "an older and much longer content\n");
    {
        auto writer = CHCSVWriter::initForWritingToCSVFile(file);
        writer->writeLineOfFields({"new"sv});
    }
    EXPECT_EQ(test::readFile(file), "new\n");
}

}  // namespace
}  // namespace kelvara
