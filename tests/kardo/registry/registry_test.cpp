// CRegistry's operations, their results and the three status fields.
#include <kardo/kardo.h>

#include "temp_store.h"

#include <string>

namespace {

constexpr const char* kPath = "Software\\Quellwerk\\Test";

class RegistryTest : public TempStoreTest {
protected:
    void SetUp() override {
        TempStoreTest::SetUp();
        ASSERT_EQ(reg_.CreateKey(HKEY_CURRENT_USER, kPath, KEY_ALL_ACCESS), 1);
    }
    // Puts the status fields in a state no operation under test would leave.
    void Scribble() {
        reg_.m_lLastResult = 777;
        reg_.m_dwLastType = 888;
        reg_.m_dwLastSize = 999;
    }
    void ExpectStatus(LONG result, DWORD type, DWORD size) {
        EXPECT_EQ(reg_.m_lLastResult, result);
        EXPECT_EQ(reg_.m_dwLastType, type);
        EXPECT_EQ(reg_.m_dwLastSize, size);
    }

    CRegistry reg_{HKEY_CURRENT_USER};
};

TEST_F(RegistryTest, IntAndDwordWritesReturnDifferentKindsOfResult) {
    Scribble();
    EXPECT_EQ(reg_.Write("Int", 5), 1);
    ExpectStatus(ERROR_SUCCESS, REG_DWORD, 4);

    Scribble();
    EXPECT_EQ(reg_.Write("Dword", DWORD{5}), 0);  // the result code itself
    ExpectStatus(777, 888, 999);                   // status left alone

    DWORD dword = 0;
    ASSERT_EQ(reg_.Read("Dword", dword), 1);
    EXPECT_EQ(dword, 5u);
    ExpectStatus(ERROR_SUCCESS, REG_DWORD, 4);

    ASSERT_EQ(reg_.Write("Negative", -2), 1);
    int number = 0;
    ASSERT_EQ(reg_.Read("Negative", number), 1);
    EXPECT_EQ(number, -2);
    ASSERT_EQ(reg_.Read("Negative", dword), 1);
    EXPECT_EQ(dword, 0xFFFFFFFEu);

    // A failing DWORD write reports its code through the return value.
    reg_.Close();
    EXPECT_EQ(reg_.Write("Dword", DWORD{5}), ERROR_INVALID_HANDLE);
}

TEST_F(RegistryTest, DwordIsStoredLittleEndian) {
    ASSERT_EQ(reg_.Write("Value", 0x11223344), 1);
    BYTE bytes[8] = {};
    DWORD type = 0;
    DWORD size = sizeof bytes;
    ASSERT_EQ(RegQueryValueExA(reg_.GetKey(), "Value", nullptr, &type, bytes, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_DWORD);
    ASSERT_EQ(size, 4u);
    EXPECT_EQ(bytes[0], 0x44);
    EXPECT_EQ(bytes[3], 0x11);
}

TEST_F(RegistryTest, TextIsStoredWithItsTerminatingZero) {
    Scribble();
    ASSERT_EQ(reg_.Write("Text", "Hallo"), 1);
    ExpectStatus(ERROR_SUCCESS, REG_SZ, 6);
    std::string text;
    Scribble();
    ASSERT_EQ(reg_.Read("Text", text), 1);
    EXPECT_EQ(text, "Hallo");
    ExpectStatus(ERROR_SUCCESS, REG_SZ, 6);

    // Windows-1252 bytes pass unchanged.
    ASSERT_EQ(reg_.Write("Umlaut", "Gr\xFC\xDF"), 1);
    ASSERT_EQ(reg_.Read("Umlaut", text), 1);
    EXPECT_EQ(text, "Gr\xFC\xDF");
}

TEST_F(RegistryTest, StringReadOfDwordGivesRawBytesUpToTheFirstZero) {
    ASSERT_EQ(reg_.Write("Abc", 0x00636261), 1);  // 'a' 'b' 'c' 0
    std::string text;
    ASSERT_EQ(reg_.Read("Abc", text), 1);
    EXPECT_EQ(text, "abc");
    ExpectStatus(ERROR_SUCCESS, REG_DWORD, 4);

    ASSERT_EQ(reg_.Write("Abcd", 0x64636261), 1);  // no zero: the text ends with the value
    ASSERT_EQ(reg_.Read("Abcd", text), 1);
    EXPECT_EQ(text, "abcd");

    ASSERT_EQ(reg_.Write("Zero", 0), 1);
    ASSERT_EQ(reg_.Read("Zero", text), 1);
    EXPECT_EQ(text, "");
}

TEST_F(RegistryTest, NumberReadTakesFourBytesWhateverTheType) {
    ASSERT_EQ(reg_.Write("Ab", "ab"), 1);  // 'a' 'b' 0: three bytes
    DWORD value = 0xFFFFFFFF;
    ASSERT_EQ(reg_.Read("Ab", value), 1);
    EXPECT_EQ(value, 0x00006261u);
    ExpectStatus(ERROR_SUCCESS, REG_SZ, 3);

    ASSERT_EQ(reg_.Write("Long", "abcdefgh"), 1);
    value = 17;
    EXPECT_EQ(reg_.Read("Long", value), 0);
    ExpectStatus(ERROR_MORE_DATA, REG_SZ, 9);
    EXPECT_EQ(value, 17u);
}

TEST_F(RegistryTest, MissingValuesFailWithCode2) {
    std::string text = "kept";
    int number = 3;
    EXPECT_EQ(reg_.Read("Nothing", text), 0);
    ExpectStatus(ERROR_FILE_NOT_FOUND, 0, 0);
    EXPECT_EQ(text, "kept");
    EXPECT_EQ(reg_.Read("Nothing", number), 0);
    EXPECT_EQ(number, 3);
    Scribble();
    EXPECT_EQ(reg_.VerifyValue("Nothing"), 0);
    ExpectStatus(ERROR_FILE_NOT_FOUND, 0, 0);
    EXPECT_EQ(reg_.DeleteValue("Nothing"), 0);
    ExpectStatus(ERROR_FILE_NOT_FOUND, 0, 0);

    ASSERT_EQ(reg_.Write("Something", 1), 1);
    Scribble();
    EXPECT_EQ(reg_.VerifyValue("Something"), 1);
    ExpectStatus(ERROR_SUCCESS, 0, 0);
    Scribble();
    EXPECT_EQ(reg_.DeleteValue("Something"), 1);
    ExpectStatus(ERROR_SUCCESS, 0, 0);
    EXPECT_EQ(reg_.VerifyValue("Something"), 0);
}

TEST_F(RegistryTest, ArraysKeepTheSizeTheyHadBeforeTheRead) {
    ASSERT_EQ(reg_.Write("Dwords", CDWordArray{1, 2, 3, 4, 5}), 1);

    CDWordArray empty;
    Scribble();
    EXPECT_EQ(reg_.Read("Dwords", empty), 1);
    EXPECT_TRUE(empty.empty());
    ExpectStatus(ERROR_SUCCESS, REG_BINARY, 22);

    CDWordArray shorter(3, 9);
    ASSERT_EQ(reg_.Read("Dwords", shorter), 1);
    EXPECT_EQ(shorter, (CDWordArray{1, 2, 3}));

    CDWordArray longer(7, 9);
    ASSERT_EQ(reg_.Read("Dwords", longer), 1);
    EXPECT_EQ(longer, (CDWordArray{1, 2, 3, 4, 5, 0, 0}));

    ASSERT_EQ(reg_.Write("Strings", CStringArray{"a", "b"}), 1);
    CStringArray strings(3, "x");
    ASSERT_EQ(reg_.Read("Strings", strings), 1);
    EXPECT_EQ(strings, (CStringArray{"a", "b", ""}));

    ASSERT_EQ(reg_.Write("Words", CWordArray{0xFFFF}), 1);
    CWordArray words(1);
    ASSERT_EQ(reg_.Read("Words", words), 1);
    EXPECT_EQ(words, CWordArray{0xFFFF});

    ASSERT_EQ(reg_.Write("Bytes", CByteArray{1, 2}), 1);
    CByteArray bytes(2);
    ASSERT_EQ(reg_.Read("Bytes", bytes), 1);
    EXPECT_EQ(bytes, (CByteArray{1, 2}));
}

TEST_F(RegistryTest, StringListTakesAllStoredStrings) {
    ASSERT_EQ(reg_.Write("List", CStringList{"eins", "zwei", "drei"}), 1);
    CStringList list{"alt"};
    ASSERT_EQ(reg_.Read("List", list), 1);
    EXPECT_EQ(list, (CStringList{"eins", "zwei", "drei"}));
}

TEST_F(RegistryTest, CollectionsOfOtherTypesStayUnchanged) {
    ASSERT_EQ(reg_.Write("Number", 12), 1);
    CDWordArray array{7};
    EXPECT_EQ(reg_.Read("Number", array), 1);
    EXPECT_EQ(array, CDWordArray{7});
    ExpectStatus(ERROR_SUCCESS, REG_DWORD, 4);
    CStringList list{"x"};
    EXPECT_EQ(reg_.Read("Number", list), 1);
    EXPECT_EQ(list, CStringList{"x"});

    EXPECT_EQ(reg_.Read("Missing", list), 0);
    ExpectStatus(ERROR_FILE_NOT_FOUND, 0, 0);
}

TEST_F(RegistryTest, OpenRemembersThePathAndFailsForMissingKeys) {
    CRegistry other(HKEY_CURRENT_USER);
    Scribble();
    EXPECT_EQ(other.Open(HKEY_CURRENT_USER, "Software\\Nowhere", KEY_READ), 0);
    EXPECT_EQ(other.m_lLastResult, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(other.GetPath(), "Software\\Nowhere");
    EXPECT_EQ(other.GetKey(), nullptr);  // nothing to write into by mistake
    EXPECT_EQ(other.Write("x", 1), 0);
    EXPECT_EQ(other.m_lLastResult, ERROR_INVALID_HANDLE);

    ASSERT_EQ(reg_.Write("Shared", "yes"), 1);
    EXPECT_EQ(other.Open(HKEY_CURRENT_USER, "software\\QUELLWERK\\test", KEY_READ), 1);
    EXPECT_EQ(other.m_lLastResult, ERROR_SUCCESS);
    EXPECT_EQ(other.m_dwLastType, 0u);
    std::string text;
    EXPECT_EQ(other.Read("SHARED", text), 1);
    EXPECT_EQ(text, "yes");
}

TEST_F(RegistryTest, VerifyKeyKeepsTheLastResultOnSuccess) {
    CRegistry other(HKEY_CURRENT_USER);
    std::string text;
    other.Read("x", text);  // fails: the root has no such value
    ASSERT_EQ(other.m_lLastResult, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(other.VerifyKey(HKEY_CURRENT_USER, kPath, KEY_READ), 1);
    EXPECT_EQ(other.m_lLastResult, ERROR_FILE_NOT_FOUND);
    EXPECT_NE(other.GetKey(), nullptr);

    other.m_dwLastType = 5;
    EXPECT_EQ(other.VerifyKey(HKEY_CURRENT_USER, "Software\\None", KEY_READ), 0);
    EXPECT_EQ(other.m_lLastResult, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(other.m_dwLastType, 0u);
}

TEST_F(RegistryTest, VerifyKeyWithPathDescendsFromTheCurrentKey) {
    CRegistry walker(HKEY_CURRENT_USER);
    ASSERT_EQ(reg_.CreateKey(HKEY_CURRENT_USER, "Software\\Quellwerk\\Test\\Deeper", KEY_ALL_ACCESS), 1);
    ASSERT_EQ(reg_.Write("Here", 1), 1);
    ASSERT_EQ(walker.Open(HKEY_CURRENT_USER, "Software", KEY_READ), 1);
    EXPECT_EQ(walker.VerifyKey("Quellwerk\\Test", KEY_READ), 1);
    EXPECT_EQ(walker.VerifyKey("Deeper", KEY_READ), 1);
    EXPECT_EQ(walker.VerifyValue("Here"), 1);
    EXPECT_EQ(walker.VerifyKey("Absent", KEY_READ), 0);
    EXPECT_EQ(walker.m_lLastResult, ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryTest, ReadOnlyAccessRefusesWritesWith5) {
    ASSERT_EQ(reg_.Write("Value", 1), 1);
    CRegistry reader(HKEY_CURRENT_USER);
    ASSERT_EQ(reader.Open(HKEY_CURRENT_USER, kPath, KEY_READ), 1);
    EXPECT_EQ(reader.Write("Value", 2), 0);
    EXPECT_EQ(reader.m_lLastResult, ERROR_ACCESS_DENIED);
    EXPECT_EQ(reader.Write("Value", DWORD{2}), ERROR_ACCESS_DENIED);
    EXPECT_EQ(reader.Write("Text", "t"), 0);
    EXPECT_EQ(reader.Write("List", CStringList{"a"}), 0);
    EXPECT_EQ(reader.DeleteValue("Value"), 0);
    EXPECT_EQ(reader.m_lLastResult, ERROR_ACCESS_DENIED);
    int value = 0;
    EXPECT_EQ(reader.Read("Value", value), 1);
    EXPECT_EQ(value, 1);

    // Write-only access cannot read.
    CRegistry writer(HKEY_CURRENT_USER);
    ASSERT_EQ(writer.Open(HKEY_CURRENT_USER, kPath, KEY_SET_VALUE), 1);
    EXPECT_EQ(writer.Write("Value", 3), 1);
    EXPECT_EQ(writer.Read("Value", value), 0);
    EXPECT_EQ(writer.m_lLastResult, ERROR_ACCESS_DENIED);
}

TEST_F(RegistryTest, DeleteValueKeyOnlyDeletesKeysWithoutSubKeys) {
    ASSERT_EQ(reg_.CreateKey(HKEY_CURRENT_USER, "Software\\Tree\\Leaf", KEY_ALL_ACCESS), 1);
    ASSERT_EQ(reg_.Write("LeafValue", 1), 1);
    reg_.Close();

    Scribble();
    EXPECT_EQ(reg_.DeleteValueKey(HKEY_CURRENT_USER, "Software\\Tree"), 0);
    ExpectStatus(ERROR_ACCESS_DENIED, 0, 0);
    EXPECT_EQ(reg_.Open(HKEY_CURRENT_USER, "Software\\Tree\\Leaf", KEY_READ), 1);
    reg_.Close();

    EXPECT_EQ(reg_.DeleteValueKey(HKEY_CURRENT_USER, "Software\\Tree\\Leaf"), 1);
    ExpectStatus(ERROR_SUCCESS, 0, 0);
    EXPECT_EQ(reg_.Open(HKEY_CURRENT_USER, "Software\\Tree\\Leaf", KEY_READ), 0);
    EXPECT_EQ(reg_.m_lLastResult, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(reg_.DeleteValueKey(HKEY_CURRENT_USER, "Software\\Tree"), 1);
    EXPECT_EQ(reg_.DeleteValueKey(HKEY_CURRENT_USER, "Software\\Tree"), 0);
    EXPECT_EQ(reg_.m_lLastResult, ERROR_FILE_NOT_FOUND);

    // A root key is never deleted.
    EXPECT_EQ(reg_.DeleteValueKey(HKEY_CURRENT_USER, ""), 0);
    EXPECT_EQ(reg_.m_lLastResult, ERROR_ACCESS_DENIED);
}

TEST_F(RegistryTest, CloseReleasesTheKeyAndKeepsTheStatus) {
    ASSERT_EQ(reg_.Write("Text", "abc"), 1);
    reg_.Close();
    EXPECT_EQ(reg_.GetKey(), nullptr);
    ExpectStatus(ERROR_SUCCESS, REG_SZ, 4);
    reg_.Close();  // twice is harmless
    std::string text;
    EXPECT_EQ(reg_.Read("Text", text), 0);
    EXPECT_EQ(reg_.m_lLastResult, ERROR_INVALID_HANDLE);
}

TEST_F(RegistryTest, ConstructorWorksOnTheRootKeyGiven) {
    CRegistry machine;  // HKEY_LOCAL_MACHINE, here in the test folder
    EXPECT_EQ(machine.GetKey(), HKEY_LOCAL_MACHINE);
    EXPECT_TRUE(machine.GetPath().empty());
    EXPECT_EQ(machine.Write("AtTheRoot", 4), 1);
    int value = 0;
    CRegistry again;
    EXPECT_EQ(again.Read("AtTheRoot", value), 1);
    EXPECT_EQ(value, 4);
    EXPECT_EQ(reg_.VerifyKey(HKEY_LOCAL_MACHINE, "", KEY_READ), 1);
    EXPECT_EQ(reg_.VerifyValue("AtTheRoot"), 1);
    // The other root keys are separate stores.
    CRegistry user(HKEY_CURRENT_USER);
    EXPECT_EQ(user.VerifyValue("AtTheRoot"), 0);
}

TEST_F(RegistryTest, IsAFrameworkObject) {
    const CObject& object = reg_;
    EXPECT_EQ(object.GetRuntimeClass(), &CObject::classCObject);
    EXPECT_TRUE(object.IsKindOf(&CObject::classCObject));
}

TEST_F(RegistryTest, NullArgumentsFailCleanly) {
    EXPECT_EQ(reg_.Write("Text", static_cast<LPCSTR>(nullptr)), 0);
    EXPECT_EQ(reg_.m_lLastResult, ERROR_INVALID_PARAMETER);
    EXPECT_EQ(reg_.Write("Rect", static_cast<const RECT*>(nullptr)), 0);
    LPRECT no_rect = nullptr;
    EXPECT_EQ(reg_.Read("Rect", no_rect), 0);
    EXPECT_EQ(reg_.m_lLastResult, ERROR_INVALID_PARAMETER);
    // A null value name is the key's default value.
    ASSERT_EQ(reg_.Write(nullptr, "default"), 1);
    std::string text;
    ASSERT_EQ(reg_.Read("", text), 1);
    EXPECT_EQ(text, "default");
}

}  // namespace
