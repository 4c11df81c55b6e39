// The bytes CRegistry stores for collections, rectangles and points, checked
// against hand-built archives, and what it does with corrupt ones.
#include <kardo/kardo.h>

#include "temp_store.h"

#include <cstdint>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

class ArchiveFormatTest : public TempStoreTest {
protected:
    void SetUp() override {
        TempStoreTest::SetUp();
        ASSERT_EQ(reg_.CreateKey(HKEY_CURRENT_USER, "Software\\Test", KEY_ALL_ACCESS), 1);
    }

    // The stored value as the store gives it back, whatever its length.
    Bytes Stored(const char* name, DWORD expected_type = REG_BINARY) {
        DWORD type = 0;
        DWORD size = 0;
        EXPECT_EQ(RegQueryValueExA(reg_.GetKey(), name, nullptr, &type, nullptr, &size),
                  ERROR_SUCCESS);
        Bytes data(size);
        EXPECT_EQ(RegQueryValueExA(reg_.GetKey(), name, nullptr, &type, data.data(), &size),
                  ERROR_SUCCESS);
        EXPECT_EQ(type, expected_type);
        return data;
    }

    void StoreRaw(const char* name, const Bytes& data) {
        ASSERT_EQ(RegSetValueExA(reg_.GetKey(), name, 0, REG_BINARY, data.data(),
                                 static_cast<DWORD>(data.size())),
                  ERROR_SUCCESS);
    }

    CRegistry reg_{HKEY_CURRENT_USER};
};

Bytes Le16(uint16_t v) { return {uint8_t(v), uint8_t(v >> 8)}; }
Bytes Le32(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; }
Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

TEST_F(ArchiveFormatTest, RectangleRecordIsTopBottomLeftRightZero) {
    RECT rect{1, 2, 3, 4};  // left, top, right, bottom
    ASSERT_EQ(reg_.Write("Rect", &rect), 1);
    EXPECT_EQ(reg_.m_dwLastType, 1u);
    EXPECT_EQ(reg_.m_dwLastSize, 22u);
    const Bytes expected = {0x05, 0x00, 0x02, 0, 0, 0, 0x04, 0, 0, 0, 0x01, 0, 0, 0,
                            0x03, 0,    0,    0, 0, 0, 0,    0};
    EXPECT_EQ(Stored("Rect"), expected);

    RECT back{};
    LPRECT pointer = &back;
    ASSERT_EQ(reg_.Read("Rect", pointer), 1);
    EXPECT_EQ(back.left, 1);
    EXPECT_EQ(back.top, 2);
    EXPECT_EQ(back.right, 3);
    EXPECT_EQ(back.bottom, 4);
    EXPECT_EQ(reg_.m_dwLastType, 1u);
    EXPECT_EQ(reg_.m_dwLastSize, 16u);
}

TEST_F(ArchiveFormatTest, PointRecordIsXYAndThreeZeros) {
    POINT point{-7, 300};
    LPPOINT pointer = &point;
    ASSERT_EQ(reg_.Write("Point", pointer), 1);
    EXPECT_EQ(reg_.m_dwLastType, 2u);
    EXPECT_EQ(reg_.m_dwLastSize, 22u);
    EXPECT_EQ(Stored("Point"),
              Cat({Le16(5), Le32(0xFFFFFFF9u), Le32(300), Le32(0), Le32(0), Le32(0)}));

    POINT back{};
    LPPOINT back_pointer = &back;
    ASSERT_EQ(reg_.Read("Point", back_pointer), 1);
    EXPECT_EQ(back.x, -7);
    EXPECT_EQ(back.y, 300);
    EXPECT_EQ(reg_.m_dwLastType, 2u);
    EXPECT_EQ(reg_.m_dwLastSize, 8u);
}

TEST_F(ArchiveFormatTest, NumberArraysAreCountAndLittleEndianElements) {
    ASSERT_EQ(reg_.Write("Bytes", CByteArray{0x10, 0xFF}), 1);
    EXPECT_EQ(reg_.m_dwLastType, 3u);
    EXPECT_EQ(reg_.m_dwLastSize, 4u);
    EXPECT_EQ(Stored("Bytes"), (Bytes{0x02, 0x00, 0x10, 0xFF}));

    ASSERT_EQ(reg_.Write("Words", CWordArray{0x1234, 0xABCD, 0}), 1);
    EXPECT_EQ(Stored("Words"), Cat({Le16(3), Le16(0x1234), Le16(0xABCD), Le16(0)}));

    ASSERT_EQ(reg_.Write("Dwords", CDWordArray{0x01020304}), 1);
    EXPECT_EQ(Stored("Dwords"), Cat({Le16(1), Le32(0x01020304)}));

    ASSERT_EQ(reg_.Write("Empty", CDWordArray{}), 1);
    EXPECT_EQ(Stored("Empty"), Le16(0));
}

TEST_F(ArchiveFormatTest, StringCollectionsAreCountAndLengthPrefixedCharacters) {
    const Bytes expected = {0x02, 0x00, 0x03, 'a', 'b', 'c', 0x00};
    ASSERT_EQ(reg_.Write("Array", CStringArray{"abc", ""}), 1);
    EXPECT_EQ(reg_.m_dwLastSize, expected.size());
    EXPECT_EQ(Stored("Array"), expected);
    ASSERT_EQ(reg_.Write("List", CStringList{"abc", ""}), 1);
    EXPECT_EQ(Stored("List"), expected);

    CStringList list{"old"};
    ASSERT_EQ(reg_.Read("List", list), 1);
    EXPECT_EQ(list, (CStringList{"abc", ""}));
    CStringArray array(2, "x");
    ASSERT_EQ(reg_.Read("Array", array), 1);
    EXPECT_EQ(array, (CStringArray{"abc", ""}));
}

// Length prefixes at the edges of each form: below 0xFF one byte, up to
// 0xFFFD a 16-bit length after 0xFF, from 0xFFFE on 0xFF 0xFFFF and 32 bits.
TEST_F(ArchiveFormatTest, StringLengthEscapesAtTheirBoundaries) {
    struct Case {
        size_t length;
        Bytes prefix;
    };
    const Case cases[] = {
        {254, {0xFE}},
        {255, {0xFF, 0xFF, 0x00}},
        {65533, {0xFF, 0xFD, 0xFF}},
        {65534, {0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        const std::string text(c.length, 'q');
        ASSERT_EQ(reg_.Write("Text", CStringList{text}), 1);
        const Bytes stored = Stored("Text");
        const Bytes expected =
            Cat({Le16(1), c.prefix, Bytes(text.begin(), text.end())});
        EXPECT_EQ(stored, expected);
        EXPECT_EQ(reg_.m_dwLastSize, expected.size());

        // The archive loads its own bytes back.
        CStringList back;
        CArchive ar(stored.data(), stored.size());
        Serialize(ar, back);
        ASSERT_EQ(back.size(), 1u);
        EXPECT_EQ(back.front(), text);
        EXPECT_EQ(ar.GetRemaining(), 0u);
    }
}

TEST_F(ArchiveFormatTest, CountEscapeAtItsBoundary) {
    const CByteArray below(65534, 0xA5);
    ASSERT_EQ(reg_.Write("Below", below), 1);
    Bytes stored = Stored("Below");
    ASSERT_EQ(stored.size(), 2u + 65534u);
    EXPECT_EQ(Bytes(stored.begin(), stored.begin() + 2), (Bytes{0xFE, 0xFF}));

    const CByteArray at(65535, 0x5A);
    ASSERT_EQ(reg_.Write("At", at), 1);
    EXPECT_EQ(reg_.m_dwLastSize, 6u + 65535u);
    stored = Stored("At");
    ASSERT_EQ(stored.size(), 6u + 65535u);
    EXPECT_EQ(Bytes(stored.begin(), stored.begin() + 6), (Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0, 0}));
    EXPECT_EQ(stored.back(), 0x5A);

    CByteArray back;
    CArchive ar(stored.data(), stored.size());
    Serialize(ar, back);
    EXPECT_EQ(back, at);

    const CStringArray strings(65535, "");
    ASSERT_EQ(reg_.Write("Strings", strings), 1);
    stored = Stored("Strings");
    EXPECT_EQ(stored.size(), 6u + 65535u);  // one zero length byte per string
    EXPECT_EQ(Bytes(stored.begin(), stored.begin() + 6), (Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0, 0}));
}

// Values are written in full but read through 4096 bytes.
TEST_F(ArchiveFormatTest, ValuesLargerThan4096BytesAreWrittenButNotRead) {
    const CByteArray large(5000, 7);
    ASSERT_EQ(reg_.Write("Large", large), 1);
    EXPECT_EQ(Stored("Large").size(), 5002u);

    CByteArray array(3, 1);
    EXPECT_EQ(reg_.Read("Large", array), 0);
    EXPECT_EQ(reg_.m_lLastResult, ERROR_MORE_DATA);
    EXPECT_EQ(reg_.m_dwLastType, REG_BINARY);
    EXPECT_EQ(reg_.m_dwLastSize, 5002u);
    EXPECT_EQ(array, CByteArray(3, 1));

    const std::string text(5000, 't');
    ASSERT_EQ(reg_.Write("LongText", text.c_str()), 1);
    std::string read = "unchanged";
    EXPECT_EQ(reg_.Read("LongText", read), 0);
    EXPECT_EQ(reg_.m_lLastResult, ERROR_MORE_DATA);
    EXPECT_EQ(read, "unchanged");

    // 4095 characters and the zero fill the buffer exactly.
    const std::string fits(4095, 'f');
    ASSERT_EQ(reg_.Write("Fits", fits.c_str()), 1);
    ASSERT_EQ(reg_.Read("Fits", read), 1);
    EXPECT_EQ(read, fits);

    // A rectangle record of 8 elements (34 bytes) does not fit in 30.
    ASSERT_EQ(reg_.Write("BigRect", CDWordArray(8, 9)), 1);
    RECT rect{1, 1, 1, 1};
    LPRECT pointer = &rect;
    EXPECT_EQ(reg_.Read("BigRect", pointer), 0);
    EXPECT_EQ(reg_.m_lLastResult, ERROR_MORE_DATA);
    EXPECT_EQ(rect.left, 1);
}

TEST_F(ArchiveFormatTest, ShortRectangleAndPointRecordsThrowInvalidArgument) {
    ASSERT_EQ(reg_.Write("Three", CDWordArray{1, 2, 3}), 1);
    RECT rect{};
    LPRECT rect_pointer = &rect;
    EXPECT_THROW(reg_.Read("Three", rect_pointer), CInvalidArgException);

    ASSERT_EQ(reg_.Write("Four", CDWordArray{1, 2, 3, 4}), 1);
    EXPECT_EQ(reg_.Read("Four", rect_pointer), 1);
    EXPECT_EQ(rect.top, 1);
    EXPECT_EQ(rect.right, 4);

    ASSERT_EQ(reg_.Write("One", CDWordArray{1}), 1);
    POINT point{};
    LPPOINT point_pointer = &point;
    EXPECT_THROW(reg_.Read("One", point_pointer), CInvalidArgException);
    ASSERT_EQ(reg_.Write("Two", CDWordArray{8, 9}), 1);
    EXPECT_EQ(reg_.Read("Two", point_pointer), 1);
    EXPECT_EQ(point.x, 8);
    EXPECT_EQ(point.y, 9);
}

TEST_F(ArchiveFormatTest, RecordsOfOtherTypesLeaveTheRectangleAlone) {
    ASSERT_EQ(reg_.Write("Text", "abc"), 1);
    RECT rect{5, 6, 7, 8};
    LPRECT pointer = &rect;
    EXPECT_EQ(reg_.Read("Text", pointer), 1);
    EXPECT_EQ(rect.left, 5);
    EXPECT_EQ(rect.bottom, 8);
    EXPECT_EQ(reg_.Read("Missing", pointer), 0);
    EXPECT_EQ(reg_.m_lLastResult, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(reg_.m_dwLastType, 1u);
    EXPECT_EQ(reg_.m_dwLastSize, 16u);
}

// Archives that end early or announce more than they hold throw and never
// read past the value; the caller's collection stays as it was.
TEST_F(ArchiveFormatTest, CorruptArchivesThrowWithoutTouchingTheCollection) {
    const Bytes corrupt[] = {
        {},                                      // no count
        {0x01},                                  // half a count
        {0x03, 0x00, 1, 0, 0, 0},                // three DWORDs announced, one there
        {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},    // 4 billion elements
        {0xFF, 0xFF, 0x05},                      // escaped count cut short
    };
    for (const Bytes& data : corrupt) {
        SCOPED_TRACE(data.size());
        StoreRaw("Bad", data);
        CDWordArray array{42, 43};
        EXPECT_THROW(reg_.Read("Bad", array), CArchiveException);
        EXPECT_EQ(array, (CDWordArray{42, 43}));
    }

    const Bytes bad_strings[] = {
        {0x01, 0x00, 0x05, 'a', 'b'},            // string shorter than its length
        {0x01, 0x00, 0xFF, 0x00, 0x01},          // 256 characters announced, none there
        {0x01, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F},  // 2 GB string
        {0x01, 0x00, 0xFF, 0xFE, 0xFF, 0x01, 'a'},  // wide-character marker
        {0x02, 0x00, 0x01, 'a'},                 // second string missing
    };
    for (const Bytes& data : bad_strings) {
        SCOPED_TRACE(data.size());
        StoreRaw("Bad", data);
        CStringList list{"kept"};
        EXPECT_THROW(reg_.Read("Bad", list), CArchiveException);
        EXPECT_EQ(list, CStringList{"kept"});
        CStringArray array{"kept"};
        EXPECT_THROW(reg_.Read("Bad", array), CArchiveException);
        EXPECT_EQ(array, CStringArray{"kept"});
    }

    StoreRaw("Bad", {0x05, 0x00, 1, 0, 0, 0});
    RECT rect{};
    LPRECT pointer = &rect;
    EXPECT_THROW(reg_.Read("Bad", pointer), CArchiveException);
}

TEST_F(ArchiveFormatTest, ExceptionsAreFrameworkObjects) {
    StoreRaw("Bad", {0x09});
    CByteArray array;
    try {
        reg_.Read("Bad", array);
        FAIL() << "no exception";
    } catch (const CException& e) {
        EXPECT_TRUE(e.IsKindOf(&CArchiveException::classCArchiveException));
        EXPECT_EQ(dynamic_cast<const CArchiveException&>(e).m_cause, CArchiveException::endOfFile);
    }
    EXPECT_TRUE(CInvalidArgException().IsKindOf(&CException::classCException));
    EXPECT_FALSE(CInvalidArgException().IsKindOf(&CArchiveException::classCArchiveException));
}

}  // namespace
