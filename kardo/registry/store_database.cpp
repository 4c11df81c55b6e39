#include "registry/store_database.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <pthread.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace kardo::registry {

namespace {

// How long a call waits for another process's transaction on the same store.
constexpr int kBusyTimeoutMs = 10000;
constexpr int kSchemaVersion = 1;

constexpr const char* kStatementText[] = {
    "BEGIN",
    "BEGIN IMMEDIATE",
    "COMMIT",
    "ROLLBACK",
    "SELECT 1 FROM keys WHERE id = ?1",
    "SELECT id FROM keys WHERE parent = ?1 AND name = ?2",
    "INSERT INTO keys(parent, name) VALUES(?1, ?2)",
    "SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1",
    "DELETE FROM vals WHERE key = ?1",
    "DELETE FROM keys WHERE id = ?1",
    "SELECT type, data FROM vals WHERE key = ?1 AND name = ?2",
    // Inserts nothing when the key is gone (no orphaned values).
    "INSERT INTO vals(key, name, type, data) SELECT ?1, ?2, ?3, ?4 "
    "WHERE EXISTS (SELECT 1 FROM keys WHERE id = ?1) "
    "ON CONFLICT(key, name) DO UPDATE SET type = excluded.type, data = excluded.data",
    "DELETE FROM vals WHERE key = ?1 AND name = ?2",
    "SELECT name FROM keys WHERE parent = ?1 ORDER BY name LIMIT 1 OFFSET ?2",
    "SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY name LIMIT 1 OFFSET ?2",
};

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS keys("
    "  id INTEGER PRIMARY KEY AUTOINCREMENT,"
    "  parent INTEGER NOT NULL,"
    "  name TEXT NOT NULL COLLATE NOCASE,"
    "  UNIQUE(parent, name));"
    "CREATE TABLE IF NOT EXISTS vals("
    "  key INTEGER NOT NULL,"
    "  name TEXT NOT NULL COLLATE NOCASE,"
    "  type INTEGER NOT NULL,"
    "  data BLOB NOT NULL,"
    "  PRIMARY KEY(key, name)) WITHOUT ROWID;"
    "INSERT OR IGNORE INTO keys(id, parent, name) VALUES(1, 0, '');"
    "PRAGMA user_version = 1;";

// Counts the forks this process came out of, so that a connection can tell
// cheaply on every call whether it was opened by this process.
std::atomic<unsigned> g_fork_generation{0};

void CountFork() { g_fork_generation.fetch_add(1, std::memory_order_relaxed); }

unsigned ForkGeneration() {
    static const bool registered = pthread_atfork(nullptr, nullptr, CountFork) == 0;
    (void)registered;
    return g_fork_generation.load(std::memory_order_relaxed);
}

// The registry's result code for an SQLite failure.
LONG ResultOf(sqlite3* db, int code) {
    switch (code & 0xff) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE:
        return ERROR_SUCCESS;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return ERROR_ACCESS_DENIED;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return ERROR_BUSY;
    case SQLITE_NOMEM:
        return ERROR_OUTOFMEMORY;
    case SQLITE_TOOBIG:
        return ERROR_NOT_ENOUGH_MEMORY;
    case SQLITE_FULL:
        return ERROR_DISK_FULL;
    case SQLITE_NOTADB:
        return ERROR_BADDB;
    case SQLITE_CORRUPT:
        return ERROR_REGISTRY_CORRUPT;
    case SQLITE_CANTOPEN: {
        const int error = db ? sqlite3_system_errno(db) : 0;
        if (error == EACCES || error == EPERM || error == EROFS) return ERROR_ACCESS_DENIED;
        return ERROR_CANTOPEN;
    }
    default:
        return ERROR_REGISTRY_IO_FAILED;
    }
}

// mkdir -p; the last folder gets mode, folders above it the usual 0755.
int MakeFolders(const std::string& folder, mode_t mode) {
    std::string path;
    size_t pos = 0;
    while (pos != std::string::npos) {
        pos = folder.find('/', pos + 1);
        path = folder.substr(0, pos);
        if (path.empty()) continue;
        if (mkdir(path.c_str(), pos == std::string::npos ? mode : 0755) != 0 && errno != EEXIST)
            return errno;
    }
    return 0;
}

// Names are never NULL: an empty view binds the empty text.
void BindName(sqlite3_stmt* statement, int index, std::string_view name) {
    sqlite3_bind_text(statement, index, name.empty() ? "" : name.data(),
                      static_cast<int>(name.size()), SQLITE_STATIC);
}

std::string ColumnText(sqlite3_stmt* statement, int column) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    return std::string(text, static_cast<size_t>(sqlite3_column_bytes(statement, column)));
}

// Resets a statement when it goes out of scope, so it never holds a read lock.
class StatementUse {
public:
    explicit StatementUse(sqlite3_stmt* statement) : statement_(statement) {}
    ~StatementUse() {
        if (statement_) sqlite3_reset(statement_);
    }
    StatementUse(const StatementUse&) = delete;
    StatementUse& operator=(const StatementUse&) = delete;

private:
    sqlite3_stmt* statement_;
};

}  // namespace

LONG CopyValueData(const void* bytes, DWORD length, BYTE* data, DWORD* size) {
    if (!size) return ERROR_SUCCESS;
    if (data) {
        if (*size < length) {
            *size = length;
            return ERROR_MORE_DATA;
        }
        if (length) std::memcpy(data, bytes, length);
    }
    *size = length;
    return ERROR_SUCCESS;
}

// A transaction that rolls back unless committed.
class StoreDatabase::Transaction {
public:
    Transaction(StoreDatabase& database, bool immediate) : database_(database) {
        result_ = database_.Run(immediate ? kBeginImmediate : kBegin);
        open_ = result_ == ERROR_SUCCESS;
    }
    ~Transaction() {
        if (open_) database_.Run(kRollback);
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    LONG Begun() const { return result_; }
    LONG Commit() {
        open_ = false;
        const LONG result = database_.Run(kCommit);
        if (result != ERROR_SUCCESS) database_.Run(kRollback);
        return result;
    }

private:
    StoreDatabase& database_;
    LONG result_;
    bool open_;
};

LONG StoreDatabase::Open(const std::string& folder, const std::string& file, bool per_user,
                         std::shared_ptr<StoreDatabase>& database) {
    std::shared_ptr<StoreDatabase> opened(new StoreDatabase);
    opened->file_ = file;
    // A store of one user (or a folder of one's own) keeps a write-ahead log:
    // commits need no flush to disk, readers and the writer never wait for
    // each other, and a crash still loses no committed change. The system
    // store keeps the classic rollback journal, because ordinary users who
    // only read it could not create the log's shared-memory file there.
    opened->write_ahead_log_ = per_user;

    // Create the file ourselves so that a per-user store is private to its
    // user; SQLite gives its journal the same permissions. Failures show in
    // what follows: a file that is there is opened (read-only if need be).
    MakeFolders(folder, per_user ? 0700 : 0755);
    const int fd = open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, per_user ? 0600 : 0644);
    if (fd >= 0) close(fd);
    else if (errno == EISDIR) return ERROR_CANTOPEN;

    if (access(file.c_str(), F_OK) != 0) {
        // Nothing to read and no right to create it: an empty, read-only store.
        opened->read_only_stand_in_ = true;
        opened->file_ = ":memory:";
    }

    LONG result = opened->Connect();
    if (result == ERROR_SUCCESS) result = opened->CreateSchema();
    if (result != ERROR_SUCCESS) return result;
    database = std::move(opened);
    return ERROR_SUCCESS;
}

StoreDatabase::~StoreDatabase() {
    // A connection inherited over fork belongs to the parent: leave it alone.
    if (generation_ != ForkGeneration()) return;
    for (sqlite3_stmt*& statement : statements_) sqlite3_finalize(statement);
    sqlite3_close_v2(db_);
}

LONG StoreDatabase::Connect() {
    db_ = nullptr;
    for (sqlite3_stmt*& statement : statements_) statement = nullptr;
    const int code = sqlite3_open_v2(file_.c_str(), &db_,
                                     SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE |
                                         SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_EXRESCODE,
                                     nullptr);
    if (code != SQLITE_OK) {
        const LONG result = ResultOf(db_, code);
        sqlite3_close_v2(db_);
        db_ = nullptr;
        return result;
    }
    // Only a connection that opened belongs to this process; after a failure
    // the next call tries again.
    generation_ = ForkGeneration();
    sqlite3_busy_timeout(db_, kBusyTimeoutMs);
    if (write_ahead_log_) sqlite3_exec(db_, "PRAGMA synchronous = NORMAL", nullptr, nullptr, nullptr);
    return ERROR_SUCCESS;
}

LONG StoreDatabase::CreateSchema() {
    sqlite3_stmt* statement = nullptr;
    int code = sqlite3_prepare_v2(db_, "PRAGMA user_version", -1, &statement, nullptr);
    int version = 0;
    if (code == SQLITE_OK) {
        code = sqlite3_step(statement);
        if (code == SQLITE_ROW) version = sqlite3_column_int(statement, 0);
    }
    sqlite3_finalize(statement);
    if (code != SQLITE_ROW) return ResultOf(db_, code);
    // The journal mode stays with the file; failing to set it (another
    // process is busy with the file) only costs speed.
    if (write_ahead_log_ && !read_only_stand_in_ && sqlite3_db_readonly(db_, "main") == 0)
        sqlite3_exec(db_, "PRAGMA journal_mode = WAL", nullptr, nullptr, nullptr);
    if (version >= kSchemaVersion) return ERROR_SUCCESS;

    if (sqlite3_db_readonly(db_, "main") == 1) {
        // An empty file we may not write to holds no keys yet.
        sqlite3_close_v2(db_);
        read_only_stand_in_ = true;
        file_ = ":memory:";
        const LONG result = Connect();
        if (result != ERROR_SUCCESS) return result;
    }
    // Another process may create the tables at the same moment; the immediate
    // transaction lets one of them do it.
    code = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (code == SQLITE_OK) code = sqlite3_exec(db_, kSchema, nullptr, nullptr, nullptr);
    if (code == SQLITE_OK) code = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    if (code != SQLITE_OK) {
        const LONG result = ResultOf(db_, code);
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        return result;
    }
    return ERROR_SUCCESS;
}

LONG StoreDatabase::Ready() {
    if (generation_ == ForkGeneration()) return ERROR_SUCCESS;
    if (read_only_stand_in_) {
        generation_ = ForkGeneration();  // private memory, copied with the process
        return ERROR_SUCCESS;
    }
    return Connect();
}

sqlite3_stmt* StoreDatabase::Prepared(Statement which, LONG& result) {
    result = Ready();
    if (result != ERROR_SUCCESS) return nullptr;
    sqlite3_stmt*& statement = statements_[which];
    if (!statement) {
        const int code = sqlite3_prepare_v3(db_, kStatementText[which], -1,
                                            SQLITE_PREPARE_PERSISTENT, &statement, nullptr);
        if (code != SQLITE_OK) {
            result = ResultOf(db_, code);
            sqlite3_finalize(statement);
            statement = nullptr;
        }
    }
    return statement;
}

LONG StoreDatabase::Fail(int code) { return ResultOf(db_, code); }

LONG StoreDatabase::Run(Statement which) {
    LONG result;
    sqlite3_stmt* statement = Prepared(which, result);
    if (!statement) return result;
    const int code = sqlite3_step(statement);
    sqlite3_reset(statement);
    return code == SQLITE_DONE || code == SQLITE_ROW ? ERROR_SUCCESS : Fail(code);
}

LONG StoreDatabase::KeyExists(int64_t id) {
    LONG result;
    sqlite3_stmt* statement = Prepared(kKeyExists, result);
    if (!statement) return result;
    StatementUse use(statement);
    sqlite3_bind_int64(statement, 1, id);
    const int code = sqlite3_step(statement);
    if (code == SQLITE_ROW) return ERROR_SUCCESS;
    return code == SQLITE_DONE ? ERROR_KEY_DELETED : Fail(code);
}

LONG StoreDatabase::FindKey(int64_t base, const std::vector<std::string_view>& names,
                            int64_t& id) {
    bool created = false;
    return Walk(base, names, Missing::kNotFound, id, created);
}

LONG StoreDatabase::CreateKey(int64_t base, const std::vector<std::string_view>& names,
                              bool may_create, int64_t& id, bool& created) {
    return Walk(base, names, may_create ? Missing::kCreate : Missing::kDenied, id, created);
}

LONG StoreDatabase::Walk(int64_t base, const std::vector<std::string_view>& names,
                         Missing missing_keys, int64_t& id, bool& created) {
    created = false;
    // First look without write locks: most calls open keys that exist.
    // A second pass, in one write transaction, creates what is missing.
    for (const bool creating : {false, true}) {
        if (creating && missing_keys == Missing::kNotFound) return ERROR_FILE_NOT_FOUND;
        if (creating && (missing_keys == Missing::kDenied || read_only_stand_in_))
            return ERROR_ACCESS_DENIED;
        Transaction transaction(*this, creating);
        if (transaction.Begun() != ERROR_SUCCESS) return transaction.Begun();
        LONG result = KeyExists(base);
        if (result != ERROR_SUCCESS) return result;
        int64_t current = base;
        bool missing = false;
        for (std::string_view name : names) {
            sqlite3_stmt* find = Prepared(kFindChild, result);
            if (!find) return result;
            StatementUse use_find(find);
            sqlite3_bind_int64(find, 1, current);
            BindName(find, 2, name);
            int code = sqlite3_step(find);
            if (code == SQLITE_ROW) {
                current = sqlite3_column_int64(find, 0);
                continue;
            }
            if (code != SQLITE_DONE) return Fail(code);
            if (!creating) {
                missing = true;
                break;
            }
            sqlite3_stmt* insert = Prepared(kInsertChild, result);
            if (!insert) return result;
            StatementUse use_insert(insert);
            sqlite3_bind_int64(insert, 1, current);
            BindName(insert, 2, name);
            code = sqlite3_step(insert);
            if (code != SQLITE_DONE) return Fail(code);
            current = sqlite3_last_insert_rowid(db_);
            created = true;
        }
        if (missing) continue;
        result = transaction.Commit();
        if (result != ERROR_SUCCESS) {
            created = false;
            return result;
        }
        id = current;
        return ERROR_SUCCESS;
    }
    return ERROR_FILE_NOT_FOUND;
}

LONG StoreDatabase::DeleteKey(int64_t id) {
    if (id == kRootKeyId) return ERROR_ACCESS_DENIED;
    Transaction transaction(*this, !read_only_stand_in_);
    if (transaction.Begun() != ERROR_SUCCESS) return transaction.Begun();
    LONG result = KeyExists(id);
    if (result != ERROR_SUCCESS) return result == ERROR_KEY_DELETED ? ERROR_FILE_NOT_FOUND : result;
    sqlite3_stmt* children = Prepared(kHasChildren, result);
    if (!children) return result;
    {
        StatementUse use(children);
        sqlite3_bind_int64(children, 1, id);
        const int code = sqlite3_step(children);
        if (code == SQLITE_ROW) return ERROR_ACCESS_DENIED;  // a key with sub-keys stays
        if (code != SQLITE_DONE) return Fail(code);
    }
    if (read_only_stand_in_) return ERROR_ACCESS_DENIED;
    for (const Statement which : {kDeleteKeyValues, kDeleteKeyRow}) {
        sqlite3_stmt* statement = Prepared(which, result);
        if (!statement) return result;
        StatementUse use(statement);
        sqlite3_bind_int64(statement, 1, id);
        const int code = sqlite3_step(statement);
        if (code != SQLITE_DONE) return Fail(code);
    }
    return transaction.Commit();
}

LONG StoreDatabase::QueryValue(int64_t key, std::string_view name, DWORD* type, BYTE* data,
                               DWORD* size) {
    LONG result;
    sqlite3_stmt* statement = Prepared(kQueryValue, result);
    if (!statement) return result;
    StatementUse use(statement);
    sqlite3_bind_int64(statement, 1, key);
    BindName(statement, 2, name);
    const int code = sqlite3_step(statement);
    if (code == SQLITE_DONE) {
        // No such value: tell a missing value from a deleted key.
        result = KeyExists(key);
        return result == ERROR_SUCCESS ? ERROR_FILE_NOT_FOUND : result;
    }
    if (code != SQLITE_ROW) return Fail(code);

    const DWORD stored_type = static_cast<DWORD>(sqlite3_column_int64(statement, 0));
    const void* bytes = sqlite3_column_blob(statement, 1);
    const DWORD length = static_cast<DWORD>(sqlite3_column_bytes(statement, 1));
    if (type) *type = stored_type;
    return CopyValueData(bytes, length, data, size);
}

// One statement, so one transaction of its own: SQLite waits for other
// writers through the busy timeout before it starts it.
LONG StoreDatabase::SetValue(int64_t key, std::string_view name, DWORD type, const BYTE* data,
                             DWORD size) {
    if (read_only_stand_in_) return ERROR_ACCESS_DENIED;
    LONG result;
    sqlite3_stmt* statement = Prepared(kSetValue, result);
    if (!statement) return result;
    StatementUse use(statement);
    sqlite3_bind_int64(statement, 1, key);
    BindName(statement, 2, name);
    sqlite3_bind_int64(statement, 3, type);
    // The size goes to SQLite in full: data longer than a value may hold is
    // refused here (SQLITE_TOOBIG), never cut or stored empty.
    const int bound = size ? sqlite3_bind_blob64(statement, 4, data, size, SQLITE_STATIC)
                           : sqlite3_bind_zeroblob(statement, 4, 0);  // empty, not NULL
    if (bound != SQLITE_OK) return Fail(bound);
    const int code = sqlite3_step(statement);
    if (code != SQLITE_DONE) return Fail(code);
    return sqlite3_changes(db_) == 0 ? ERROR_KEY_DELETED : ERROR_SUCCESS;
}

LONG StoreDatabase::DeleteValue(int64_t key, std::string_view name) {
    Transaction transaction(*this, !read_only_stand_in_);
    if (transaction.Begun() != ERROR_SUCCESS) return transaction.Begun();
    // Tells a missing value from a deleted key itself.
    LONG result = QueryValue(key, name, nullptr, nullptr, nullptr);
    if (result != ERROR_SUCCESS) return result;
    if (read_only_stand_in_) return ERROR_ACCESS_DENIED;
    sqlite3_stmt* statement = Prepared(kDeleteValue, result);
    if (!statement) return result;
    {
        StatementUse use(statement);
        sqlite3_bind_int64(statement, 1, key);
        BindName(statement, 2, name);
        const int code = sqlite3_step(statement);
        if (code != SQLITE_DONE) return Fail(code);
    }
    return transaction.Commit();
}

template <class ReadRow>
LONG StoreDatabase::EnumRow(Statement which, int64_t key, DWORD index, ReadRow read_row) {
    Transaction transaction(*this, false);
    if (transaction.Begun() != ERROR_SUCCESS) return transaction.Begun();
    LONG result = KeyExists(key);
    if (result != ERROR_SUCCESS) return result;
    sqlite3_stmt* statement = Prepared(which, result);
    if (!statement) return result;
    StatementUse use(statement);
    sqlite3_bind_int64(statement, 1, key);
    sqlite3_bind_int64(statement, 2, index);
    const int code = sqlite3_step(statement);
    if (code == SQLITE_DONE) return ERROR_NO_MORE_ITEMS;
    if (code != SQLITE_ROW) return Fail(code);
    read_row(statement);
    return ERROR_SUCCESS;
}

LONG StoreDatabase::EnumKey(int64_t key, DWORD index, std::string& name) {
    const LONG result = EnumRow(kEnumKey, key, index, [&](sqlite3_stmt* row) { name = ColumnText(row, 0); });
    // No key of a sound store has an empty name or a backslash in it: such a
    // row was written by something else, and opening it by name would reach
    // the key itself (an endless walk down) or some other key.
    if (result == ERROR_SUCCESS && (name.empty() || name.find('\\') != std::string::npos))
        return ERROR_REGISTRY_CORRUPT;
    return result;
}

LONG StoreDatabase::EnumValue(int64_t key, DWORD index, std::string& name, DWORD& type,
                              std::vector<BYTE>& data) {
    return EnumRow(kEnumValue, key, index, [&](sqlite3_stmt* row) {
        name = ColumnText(row, 0);
        type = static_cast<DWORD>(sqlite3_column_int64(row, 1));
        const auto* bytes = static_cast<const BYTE*>(sqlite3_column_blob(row, 2));
        data.assign(bytes, bytes + sqlite3_column_bytes(row, 2));
    });
}

}  // namespace kardo::registry
