#include "surface/io/container.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "surface/io/tests/memory_stream.h"

namespace {

// The arrays of a small container of every kind, with an empty item.
struct Sample {
    unsigned char flags[2] = {1, 0};
    int32_t count = 7;
    double xy[2] = {1.5, -2.0};
    unsigned char text[5] = {0, 7, 34, 92, 200};

    // Builds the index over these arrays (or over `into`'s when reading).
    void Build(ContainerIndex* index, int32_t encoding, const char* comment = nullptr) {
        Container_ResetIndex(index);
        index->encoding = encoding;
        index->comment = comment;
        const int32_t two[1] = {2}, twoByOne[2] = {2, 1}, five[1] = {5}, none[1] = {0};
        ASSERT_NE(nullptr, ContainerIndex_AddShaped(index, "Flags", ContainerKind_Boolean, 1, two, flags));
        ASSERT_NE(nullptr, ContainerIndex_AddShaped(index, "Count", ContainerKind_Integer, 0, nullptr, &count));
        ASSERT_NE(nullptr, ContainerIndex_AddShaped(index, "X", ContainerKind_Double, 2, twoByOne, xy));
        ASSERT_NE(nullptr, ContainerIndex_AddShaped(index, "Text", ContainerKind_Character, 1, five, text));
        ASSERT_NE(nullptr, ContainerIndex_AddShaped(index, "Empty", ContainerKind_Double, 1, none, nullptr));
    }
    void Clear() {
        std::memset(flags, 0xEE, sizeof flags);
        count = -1;
        xy[0] = xy[1] = 0;
        std::memset(text, 0xEE, sizeof text);
    }
    void ExpectOriginal() const {
        EXPECT_EQ(1, flags[0]);
        EXPECT_EQ(0, flags[1]);
        EXPECT_EQ(7, count);
        EXPECT_EQ(1.5, xy[0]);
        EXPECT_EQ(-2.0, xy[1]);
        EXPECT_EQ(0, std::memcmp(text, "\0\7\"\\\310", 5));
    }
};

const char kIndexText[] =
    "%TAVIR-1.0\n\n[comment]\nmade by hand\n\n[index]\nFlags Boolean 2;\nCount Integer;\nX Double 2 1;\n"
    "Text Character 5;\nEmpty Double 0;\n\n";

std::string Written(int32_t encoding, const char* comment = "made by hand") {
    Sample sample;
    ContainerIndex index;
    sample.Build(&index, encoding, comment);
    MemoryStream out;
    double progress = -1;
    EXPECT_EQ(ContainerCode_Success, Container_Write(&out.stream, &index, &progress, nullptr));
    EXPECT_EQ(1.0, progress);
    Container_FreeItems(&index);
    return out.bytes();
}

// Reads `bytes` into a fresh sample; the container code.
int ReadInto(Sample* sample, const std::string& bytes, int32_t* line = nullptr, bool knownLength = true) {
    MemoryStream in(bytes);
    in.knownLength = knownLength;
    in.Prepare();
    ContainerIndex index;
    int32_t where = 0;
    int code = Container_ReadIndex(&index, &in.stream, &where, nullptr);
    if (code == ContainerCode_Success) {
        EXPECT_EQ(nullptr, index.comment);
        EXPECT_EQ(5, index.itemCount);
        const char* names[] = {"Flags", "Count", "X", "Text"};
        void* arrays[] = {sample->flags, &sample->count, sample->xy, sample->text};
        for (int k = 0; k < 4; ++k) Container_FindItem(&index, names[k])->data = arrays[k];
        double progress = -1;
        code = Container_ReadData(&index, &where, &progress, nullptr);
        if (code == ContainerCode_Success) {
            EXPECT_EQ(1.0, progress);
        }
        Container_FreeIndex(&index);
        Container_FreeItems(&index);
    }
    if (line != nullptr) *line = where;
    return code;
}

TEST(ContainerTest, AsciiGoldenBytesAndRoundTrip) {
    const std::string text = Written(ContainerEncoding_Ascii);
    EXPECT_EQ(std::string(kIndexText) + "[ascii]\nTRUE\nFALSE\n7\n1.5\n-2\n\"\\0.\\7.\\\"\\\\\\200.\"\n", text);
    Sample back;
    back.Clear();
    int32_t line = 0;
    ASSERT_EQ(ContainerCode_Success, ReadInto(&back, text, &line));
    back.ExpectOriginal();
    EXPECT_EQ(19, line);
}

TEST(ContainerTest, BinaryGoldenBytesAndRoundTrip) {
    const std::string bytes = Written(ContainerEncoding_Binary);
    const std::string head = std::string(kIndexText) + "[binary]";
    ASSERT_EQ(head, bytes.substr(0, head.size()));
    const unsigned char marker[12] = {0xFF, 0x0F, 0xF0, 0x00, 0x1B, 0xDE, 0x83, 0x42, 0xCA, 0xC0, 0xF3, 0x3F};
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(marker), 12), bytes.substr(head.size(), 12));
    EXPECT_EQ(head.size() + 12 + 2 + 4 + 16 + 5, bytes.size());
    EXPECT_EQ(std::string("\1\0\7\0\0\0", 6), bytes.substr(head.size() + 12, 6));
    Sample back;
    back.Clear();
    int32_t line = 0;
    ASSERT_EQ(ContainerCode_Success, ReadInto(&back, bytes, &line));
    back.ExpectOriginal();
    EXPECT_EQ(-1, line);
}

TEST(ContainerTest, FileOfTheOtherByteOrderReadsBackAndAForeignMarkerIsRefused) {
    std::string bytes = Written(ContainerEncoding_Binary);
    const std::size_t data = std::string(kIndexText).size() + 8;
    // Reverse the marker, the test value and every element wider than a byte.
    const std::pair<std::size_t, std::size_t> fields[] = {{0, 4}, {4, 8}, {14, 4}, {18, 8}, {26, 8}};
    for (const auto& field : fields) {
        auto begin = bytes.begin() + static_cast<std::ptrdiff_t>(data + field.first);
        std::reverse(begin, begin + static_cast<std::ptrdiff_t>(field.second));
    }
    Sample back;
    back.Clear();
    ASSERT_EQ(ContainerCode_Success, ReadInto(&back, bytes));
    back.ExpectOriginal();

    bytes[data + 1] = 0x0E;  // neither order
    EXPECT_EQ(ContainerCode_CorruptBinary, ReadInto(&back, bytes));
    bytes = Written(ContainerEncoding_Binary);
    bytes[data + 11] = 0x40;  // the test value is off
    EXPECT_EQ(ContainerCode_CorruptBinary, ReadInto(&back, bytes));
}

TEST(ContainerTest, StringEscapesAndNumbersAsTheReaderTakesThem) {
    struct Case {
        const char* item;  // the index line
        const char* data;  // the ASCII data
        int code;
        std::vector<double> doubles;  // Double items
        std::string chars;            // Character items
    } cases[] = {
        {"V Double 3;", "5\n123456789012\n-1.5e-3\n", 0, {5.0, 123456789012.0, -1.5e-3}, ""},
        {"V Double 2;", "1.\n2\n", ContainerCode_Syntax, {}, ""},
        {"V Double 1;", ".5\n", ContainerCode_Syntax, {}, ""},
        {"V Double 1;", "TRUE\n", ContainerCode_WrongKind, {}, ""},
        {"V Double 1;", "-\n", ContainerCode_Syntax, {}, ""},
        {"V Double 2;", "1\n", ContainerCode_UnexpectedEnd, {}, ""},
        {"V Integer 1;", "5.0\n", ContainerCode_WrongKind, {}, ""},
        {"V Integer 1;", "4294967296\n", ContainerCode_WrongKind, {}, ""},
        {"V Integer 1;", "-2147483649\n", ContainerCode_WrongKind, {}, ""},
        {"V Boolean 1;", "TRUEX\n", ContainerCode_Syntax, {}, ""},
        {"V Character 4;", "\"\\065.\\q\\12\"\n", 0, {}, "Aq12"},
        {"V Character 2;",
         "\"\\0\\7\"\n",
         0,
         {},
         std::string("\0"
                     "7",
                     2)},
        {"V Character 2;", "\"\\256.\"\n", ContainerCode_Syntax, {}, ""},
        {"V Character 3;", "\"a\n", ContainerCode_UnexpectedEnd, {}, ""},
        {"V Character 2;", "\"a\" \"b\"\n", 0, {}, "ab"},
        {"V Character 1;", "7\n", ContainerCode_WrongKind, {}, ""},
    };
    for (const Case& c : cases) {
        const std::string file = std::string("%TAVIR-1.0\n[index]\n") + c.item + "\n[ascii]\n" + c.data;
        MemoryStream in(file);
        ContainerIndex index;
        ASSERT_EQ(0, Container_ReadIndex(&index, &in.stream, nullptr, nullptr)) << c.item;
        ContainerItem& item = index.items[0];
        std::vector<double> doubles(16);
        std::vector<char> chars(16);
        item.data = item.kind == ContainerKind_Double ? static_cast<void*>(doubles.data()) : chars.data();
        const int code = Container_ReadData(&index, nullptr, nullptr, nullptr);
        EXPECT_EQ(c.code, code) << c.item << " / " << c.data;
        if (code == 0 && item.kind == ContainerKind_Double) {
            EXPECT_EQ(c.doubles, std::vector<double>(doubles.begin(), doubles.begin() + c.doubles.size()));
        } else if (code == 0) {
            EXPECT_EQ(c.chars.size(), static_cast<std::size_t>(item.dimensions[0])) << c.data;
            EXPECT_EQ(c.chars, std::string(chars.data(), c.chars.size())) << c.data;
        }
        Container_FreeItems(&index);
    }
}

TEST(ContainerTest, IndexRefusals) {
    struct Case {
        std::string text;
        int code;
        int32_t line;
    } cases[] = {
        {"%TAVIR-1.1\n[index]\n", ContainerCode_BadVersion, 1},
        {"%TAVIR-99999999999.0\n[index]\n", ContainerCode_BadVersion, 1},
        {" %TAVIR-1.0\n", ContainerCode_NoHeader, 1},
        {"%TAVIR-1\n", ContainerCode_NoHeader, 1},
        {"", ContainerCode_NoHeader, 1},
        {"%TAVIR-1.0\n\n[index]\nA Double 2\n[ascii]\n1\n2\n", ContainerCode_Syntax, 5},
        {"%TAVIR-1.0\n[index]\nA Double 1099511627776;\n[ascii]\n", ContainerCode_Syntax, 3},
        {"%TAVIR-1.0\n[index]\nA Double 300000000;\nB Integer;\n[binary]", ContainerCode_Syntax, 4},
        {"%TAVIR-1.0\n[index]\nA Float 1;\n", ContainerCode_Syntax, 3},
        {"%TAVIR-1.0\n[comment]\nno index", ContainerCode_UnexpectedEnd, 3},
        {"%TAVIR-1.0\n[index]\nA Double 1;", ContainerCode_UnexpectedEnd, 3},
        {"%TAVIR-1.0\nstray\n[index]\n", ContainerCode_Syntax, 2},
        {"%TAVIR-1.0\n[index]\n9A Double;\n", ContainerCode_Syntax, 3},
        {std::string("%TAVIR-1.0\n[index]\n\0A Double;\n", 30), ContainerCode_Syntax, 3},
    };
    for (const Case& c : cases) {
        MemoryStream in(c.text);
        ContainerIndex index;
        int32_t line = 0;
        EXPECT_EQ(c.code, Container_ReadIndex(&index, &in.stream, &line, nullptr)) << c.text;
        EXPECT_EQ(c.line, line) << c.text;
        EXPECT_EQ(0, index.itemCount);
        EXPECT_EQ(nullptr, index.scanner);
    }
}

TEST(ContainerTest, AnIndexAskingForMoreThanTheFileHoldsEndsBeforeTheData) {
    const std::string ascii = "%TAVIR-1.0\n[index]\nA Double 1000;\n\n[ascii]\n1\n2\n";
    const std::string binary = "%TAVIR-1.0\n[index]\nA Double 2;\n\n[binary]" + std::string(12 + 15, 'x');
    for (const std::string& text : {ascii, binary}) {
        MemoryStream in(text);
        in.knownLength = true;
        in.Prepare();
        ContainerIndex index;
        EXPECT_EQ(ContainerCode_UnexpectedEnd, Container_ReadIndex(&index, &in.stream, nullptr, nullptr));
        EXPECT_EQ(0, index.itemCount);
    }
}

TEST(ContainerTest, ItemsWithoutStorageAreSkippedInBothEncodingsAndOverStreamsThatCannotSeek) {
    for (int32_t encoding : {ContainerEncoding_Ascii, ContainerEncoding_Binary})
        for (bool seekable : {true, false}) {
            MemoryStream in(Written(encoding));
            in.seekable = seekable;
            ContainerIndex index;
            ASSERT_EQ(0, Container_ReadIndex(&index, &in.stream, nullptr, nullptr));
            unsigned char text[5] = {};
            Container_FindItem(&index, "Text")->data = text;
            EXPECT_EQ(0, Container_ReadData(&index, nullptr, nullptr, nullptr));
            EXPECT_EQ(200, text[4]);
            Container_FreeItems(&index);
        }
    // A large item skipped past the buffer: the stream seeks or reads on.
    std::vector<double> big(5000, 0.25);
    double tail = 3.0;
    ContainerIndex index;
    Container_ResetIndex(&index);
    index.encoding = ContainerEncoding_Binary;
    const int32_t n[1] = {5000};
    ContainerIndex_AddShaped(&index, "Big", ContainerKind_Double, 1, n, big.data());
    ContainerIndex_AddShaped(&index, "Tail", ContainerKind_Double, 0, nullptr, &tail);
    MemoryStream out;
    ASSERT_EQ(0, Container_Write(&out.stream, &index, nullptr, nullptr));
    Container_FreeItems(&index);
    for (bool seekable : {true, false}) {
        MemoryStream in(out.bytes());
        in.seekable = seekable;
        ASSERT_EQ(0, Container_ReadIndex(&index, &in.stream, nullptr, nullptr));
        double back = 0;
        Container_FindItem(&index, "Tail")->data = &back;
        EXPECT_EQ(0, Container_ReadData(&index, nullptr, nullptr, nullptr));
        EXPECT_EQ(3.0, back);
        Container_FreeItems(&index);
    }
}

TEST(ContainerTest, WriterRefusesUnfitIndexesAndWritesNothing) {
    double value = 1;
    struct Case {
        const char* name;
        int32_t kind;
        int32_t size;  // -1: a single value
        bool data;
        const char* comment;
        int32_t encoding;
    } cases[] = {
        {"A", 2, -1, true, "has [index] inside", 0},
        {"", 2, -1, true, nullptr, 0},
        {"9A", 2, -1, true, nullptr, 1},
        {"A-b", 2, -1, true, nullptr, 1},
        {"A", 4, -1, true, nullptr, 0},
        {"A", 2, -1, false, nullptr, 0},
        {"A", 2, 3, false, nullptr, 0},
        {"A", 2, -1, true, nullptr, 2},
    };
    for (const Case& c : cases) {
        ContainerIndex index;
        Container_ResetIndex(&index);
        index.encoding = c.encoding;
        index.comment = c.comment;
        ContainerIndex_AddShaped(&index, c.name, c.kind, c.size < 0 ? 0 : 1, &c.size, c.data ? &value : nullptr);
        MemoryStream out;
        EXPECT_EQ(ContainerCode_InvalidIndex, Container_Write(&out.stream, &index, nullptr, nullptr)) << c.name;
        EXPECT_TRUE(out.bytes().empty());
        Container_FreeItems(&index);
    }
}

TEST(ContainerTest, WritesFailingAtAnyByteGiveTheWriteFailure) {
    for (int32_t encoding : {ContainerEncoding_Ascii, ContainerEncoding_Binary}) {
        const std::size_t size = Written(encoding).size();
        for (std::size_t n = 0; n < size; ++n) {
            Sample sample;
            ContainerIndex index;
            sample.Build(&index, encoding, "made by hand");
            MemoryStream out;
            out.failAfter = static_cast<int64_t>(n);
            EXPECT_EQ(ContainerCode_WriteFailure, Container_Write(&out.stream, &index, nullptr, nullptr)) << n;
            Container_FreeItems(&index);
        }
    }
}

TEST(ContainerTest, ReadsFailingAtAnyByteGiveTheReadFailure) {
    for (int32_t encoding : {ContainerEncoding_Ascii, ContainerEncoding_Binary}) {
        const std::string bytes = Written(encoding);
        for (std::size_t n = 0; n < bytes.size(); ++n) {
            MemoryStream in(bytes);
            in.failAfter = static_cast<int64_t>(n);
            ContainerIndex index;
            int code = Container_ReadIndex(&index, &in.stream, nullptr, nullptr);
            if (code == 0) {
                double xy[2];
                Container_FindItem(&index, "X")->data = xy;
                code = Container_ReadData(&index, nullptr, nullptr, nullptr);
                Container_FreeItems(&index);
            }
            EXPECT_EQ(ContainerCode_ReadFailure, code) << n;
        }
    }
}

TEST(ContainerTest, CancellationBeforeTheCallOrPartWay) {
    int32_t cancel = 1;
    Sample sample;
    ContainerIndex index;
    sample.Build(&index, ContainerEncoding_Ascii);
    MemoryStream out;
    double progress = -1;
    EXPECT_EQ(ContainerCode_Cancelled, Container_Write(&out.stream, &index, &progress, &cancel));
    EXPECT_EQ(0.0, progress);
    EXPECT_TRUE(out.bytes().empty());
    Container_FreeItems(&index);
    MemoryStream in(Written(ContainerEncoding_Ascii));
    EXPECT_EQ(ContainerCode_Cancelled, Container_ReadIndex(&index, &in.stream, nullptr, &cancel));
    Container_FreeItems(&index);

    for (int32_t encoding : {ContainerEncoding_Ascii, ContainerEncoding_Binary}) {
        const std::size_t size = Written(encoding).size();
        // Up to the last element: the closing quote and line feed of the
        // text item are not followed by a poll.
        for (std::size_t n = 1; n + 2 < size; n += 3) {
            cancel = 0;
            sample.Build(&index, encoding, "made by hand");
            MemoryStream hooked;
            hooked.abortAfter = static_cast<int64_t>(n);
            hooked.abortFlag = &cancel;
            EXPECT_EQ(ContainerCode_Cancelled, Container_Write(&hooked.stream, &index, nullptr, &cancel)) << n;
            Container_FreeItems(&index);
        }
    }
}

TEST(ContainerTest, FileStreamsLeaveTheFileOpenUnlessTheyOpenedIt) {
    const char* path = "container_test_stream.tvr";
    ContainerStream stream;
    ASSERT_EQ(1, ContainerStream_Open(&stream, path, "wb"));
    Sample sample;
    ContainerIndex index;
    sample.Build(&index, ContainerEncoding_Ascii);
    ASSERT_EQ(0, Container_Write(&stream, &index, nullptr, nullptr));
    Container_FreeItems(&index);
    ContainerStream_Close(&stream);

    std::FILE* file = std::fopen(path, "rb");
    ASSERT_NE(nullptr, file);
    ASSERT_EQ(0, Container_ReadIndexFile(&index, file, nullptr, nullptr));
    Container_FreeItems(&index);
    EXPECT_EQ(0, std::fseek(file, 0, SEEK_SET)) << "the borrowed file is still open";
    std::fclose(file);
    std::remove(path);
    EXPECT_EQ(0, ContainerStream_Open(&stream, "no/such/folder/file.tvr", "rb"));
}

TEST(ContainerTest, SizesAndEstimates) {
    const int32_t dims[2] = {3, 4};
    ContainerIndex index;
    Container_ResetIndex(&index);
    index.encoding = ContainerEncoding_Binary;
    double data[12];
    ContainerItem* item = ContainerIndex_AddShaped(&index, "M", ContainerKind_Double, 2, dims, data);
    EXPECT_EQ(96, ContainerItem_Bytes(item));
    EXPECT_TRUE(ContainerItem_CheckShape(item, 2, dims, ContainerKind_Double));
    const int32_t any[2] = {-1, 4}, wrong[2] = {3, 5};
    EXPECT_TRUE(ContainerItem_CheckShape(item, 2, any, -1));
    EXPECT_FALSE(ContainerItem_CheckShape(item, 2, wrong, -1));
    EXPECT_FALSE(ContainerItem_CheckShape(item, 1, dims, -1));
    EXPECT_TRUE(ContainerItem_CheckShape(nullptr, 1, dims, 2));
    EXPECT_EQ(20 + 1 + 14 + 20 + 96, Container_Bytes(&index));
    index.encoding = ContainerEncoding_Ascii;
    EXPECT_EQ(20 + 1 + 14 + 8 + 12 * 23, Container_Bytes(&index));
    EXPECT_EQ(-1, Container_Bytes(nullptr));
    EXPECT_EQ(0, ContainerKind_Size(5, ContainerKind_Double));
    EXPECT_EQ(0, ContainerKind_BinarySize(7));
    Container_FreeItems(&index);
    EXPECT_EQ(-1, index.encoding);
}

}  // namespace
