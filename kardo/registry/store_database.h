#pragma once
// One root key's SQLite database: the key tree and the values, with every
// operation the store functions need. Callers serialise access (the store
// functions hold one process-wide lock around each call).
#include <kardo/registry_store.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace kardo::registry {

// The row of the root key itself; it has no parent and can not be deleted.
constexpr int64_t kRootKeyId = 1;

// Hands a value's length bytes to a caller as RegQueryValueExA and
// RegEnumValueA do: with size NULL nothing; with data NULL only the size;
// with *size too small ERROR_MORE_DATA and the size needed.
LONG CopyValueData(const void* bytes, DWORD length, BYTE* data, DWORD* size);

class StoreDatabase {
public:
    // Opens the database file, creating folder, file and tables when it may.
    // When the file does not exist and can not be created (the system store
    // for an ordinary user), an empty stand-in answers reads with "not found"
    // and refuses writes. Gives a result code.
    static LONG Open(const std::string& folder, const std::string& file, bool per_user,
                     std::shared_ptr<StoreDatabase>& database);
    ~StoreDatabase();
    bool IsStandIn() const { return read_only_stand_in_; }
    StoreDatabase(const StoreDatabase&) = delete;
    StoreDatabase& operator=(const StoreDatabase&) = delete;

    // The key reached from base through names; ERROR_FILE_NOT_FOUND when one
    // is missing, ERROR_KEY_DELETED when base itself is gone.
    LONG FindKey(int64_t base, const std::vector<std::string_view>& names, int64_t& id);
    // As FindKey, creating the missing keys in one transaction; when they
    // are missing and may_create is false: ERROR_ACCESS_DENIED.
    LONG CreateKey(int64_t base, const std::vector<std::string_view>& names, bool may_create,
                   int64_t& id, bool& created);
    // Deletes the key (and its values) when it has no sub-keys.
    LONG DeleteKey(int64_t id);

    // RegQueryValueExA's contract for one value of key.
    LONG QueryValue(int64_t key, std::string_view name, DWORD* type, BYTE* data, DWORD* size);
    LONG SetValue(int64_t key, std::string_view name, DWORD type, const BYTE* data, DWORD size);
    LONG DeleteValue(int64_t key, std::string_view name);

    LONG EnumKey(int64_t key, DWORD index, std::string& name);
    LONG EnumValue(int64_t key, DWORD index, std::string& name, DWORD& type,
                   std::vector<BYTE>& data);

private:
    enum Statement {
        kBegin,
        kBeginImmediate,
        kCommit,
        kRollback,
        kKeyExists,
        kFindChild,
        kInsertChild,
        kHasChildren,
        kDeleteKeyValues,
        kDeleteKeyRow,
        kQueryValue,
        kSetValue,
        kDeleteValue,
        kEnumKey,
        kEnumValue,
        kStatementCount
    };
    class Transaction;

    StoreDatabase() = default;
    LONG Connect();
    LONG CreateSchema();
    // The connection of this process: after a fork the child opens its own and
    // leaves the inherited one untouched, as SQLite requires.
    LONG Ready();
    sqlite3_stmt* Prepared(Statement which, LONG& result);
    LONG Run(Statement which);
    LONG KeyExists(int64_t id);
    // Row index of an enumeration statement (bound to key and index) in one
    // read transaction; read_row takes the row's columns.
    template <class ReadRow>
    LONG EnumRow(Statement which, int64_t key, DWORD index, ReadRow read_row);
    enum class Missing { kNotFound, kCreate, kDenied };
    LONG Walk(int64_t base, const std::vector<std::string_view>& names, Missing missing,
              int64_t& id, bool& created);
    LONG Fail(int code);

    std::string file_;
    bool write_ahead_log_ = false;
    bool read_only_stand_in_ = false;
    sqlite3* db_ = nullptr;
    unsigned generation_ = 0;
    sqlite3_stmt* statements_[kStatementCount] = {};
};

}  // namespace kardo::registry
