// Writes and reads per second of CRegistry for small strings and DWORDs,
// beside the same work done with bare SQLite: one prepared upsert or select
// per value on a table of the same shape, with the same journal settings,
// in the same folder and the same run. The difference is what CRegistry and
// the store functions cost on top of SQLite.
#include <kardo/kardo.h>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr int kNames = 64;
constexpr const char* kText = "COM1 9600,n,8,1";

std::string g_folder;
std::vector<std::string> g_names;

// The store's own settings for a per-user database.
class BareSqlite {
public:
    BareSqlite() {
        const std::string file = g_folder + "/bare.db";
        if (sqlite3_open(file.c_str(), &db_) != SQLITE_OK) std::abort();
        sqlite3_busy_timeout(db_, 10000);
        Exec("PRAGMA journal_mode = WAL");
        Exec("PRAGMA synchronous = NORMAL");
        Exec("CREATE TABLE IF NOT EXISTS vals(key INTEGER NOT NULL, name TEXT NOT NULL COLLATE "
             "NOCASE, type INTEGER NOT NULL, data BLOB NOT NULL, PRIMARY KEY(key, name)) "
             "WITHOUT ROWID");
        Prepare("INSERT INTO vals(key, name, type, data) VALUES(2, ?1, ?2, ?3) ON CONFLICT(key, "
                "name) DO UPDATE SET type = excluded.type, data = excluded.data",
                &upsert_);
        Prepare("SELECT type, data FROM vals WHERE key = 2 AND name = ?1", &select_);
    }
    ~BareSqlite() {
        sqlite3_finalize(upsert_);
        sqlite3_finalize(select_);
        sqlite3_close(db_);
    }

    void Upsert(const std::string& name, DWORD type, const void* data, int size) {
        sqlite3_bind_text(upsert_, 1, name.data(), static_cast<int>(name.size()), SQLITE_STATIC);
        sqlite3_bind_int64(upsert_, 2, type);
        sqlite3_bind_blob(upsert_, 3, data, size, SQLITE_STATIC);
        if (sqlite3_step(upsert_) != SQLITE_DONE) std::abort();
        sqlite3_reset(upsert_);
    }

    // Copies the value out, as a registry read does.
    int Select(const std::string& name, void* buffer, int capacity) {
        sqlite3_bind_text(select_, 1, name.data(), static_cast<int>(name.size()), SQLITE_STATIC);
        int size = -1;
        if (sqlite3_step(select_) == SQLITE_ROW) {
            size = sqlite3_column_bytes(select_, 1);
            if (size <= capacity) std::memcpy(buffer, sqlite3_column_blob(select_, 1), size);
        }
        sqlite3_reset(select_);
        return size;
    }

private:
    void Exec(const char* sql) {
        if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) std::abort();
    }
    void Prepare(const char* sql, sqlite3_stmt** statement) {
        if (sqlite3_prepare_v2(db_, sql, -1, statement, nullptr) != SQLITE_OK) std::abort();
    }

    sqlite3* db_ = nullptr;
    sqlite3_stmt* upsert_ = nullptr;
    sqlite3_stmt* select_ = nullptr;
};

CRegistry& Registry() {
    static CRegistry reg(HKEY_CURRENT_USER);
    static const bool opened = [] {
        if (reg.CreateKey(HKEY_CURRENT_USER, "Software\\Quellwerk\\Bench", KEY_ALL_ACCESS) != 1)
            std::abort();
        for (const std::string& name : g_names) {
            reg.Write(("s" + name).c_str(), kText);
            reg.Write(("d" + name).c_str(), 3000);
        }
        return true;
    }();
    (void)opened;
    return reg;
}

BareSqlite& Bare() {
    static BareSqlite bare;
    static const bool filled = [] {
        const int number = 3000;
        for (const std::string& name : g_names) {
            bare.Upsert("s" + name, REG_SZ, kText, static_cast<int>(std::strlen(kText) + 1));
            bare.Upsert("d" + name, REG_DWORD, &number, 4);
        }
        return true;
    }();
    (void)filled;
    return bare;
}

std::vector<std::string> Prefixed(const char* prefix) {
    std::vector<std::string> names;
    for (const std::string& name : g_names) names.push_back(prefix + name);
    return names;
}

void BM_CRegistryWriteString(benchmark::State& state) {
    CRegistry& reg = Registry();
    const std::vector<std::string> names = Prefixed("s");
    size_t i = 0;
    for (auto _ : state) {
        if (reg.Write(names[i++ % kNames].c_str(), kText) != 1) state.SkipWithError("write failed");
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_SqliteUpsertString(benchmark::State& state) {
    BareSqlite& bare = Bare();
    const std::vector<std::string> names = Prefixed("s");
    const int size = static_cast<int>(std::strlen(kText) + 1);
    size_t i = 0;
    for (auto _ : state) bare.Upsert(names[i++ % kNames], REG_SZ, kText, size);
    state.SetItemsProcessed(state.iterations());
}

void BM_CRegistryWriteDword(benchmark::State& state) {
    CRegistry& reg = Registry();
    const std::vector<std::string> names = Prefixed("d");
    size_t i = 0;
    for (auto _ : state) {
        if (reg.Write(names[i % kNames].c_str(), static_cast<int>(i)) != 1)
            state.SkipWithError("write failed");
        ++i;
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_SqliteUpsertDword(benchmark::State& state) {
    BareSqlite& bare = Bare();
    const std::vector<std::string> names = Prefixed("d");
    size_t i = 0;
    for (auto _ : state) {
        const uint32_t value = static_cast<uint32_t>(i);
        bare.Upsert(names[i++ % kNames], REG_DWORD, &value, 4);
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_CRegistryReadString(benchmark::State& state) {
    CRegistry& reg = Registry();
    const std::vector<std::string> names = Prefixed("s");
    std::string text;
    size_t i = 0;
    for (auto _ : state) {
        if (reg.Read(names[i++ % kNames].c_str(), text) != 1) state.SkipWithError("read failed");
        benchmark::DoNotOptimize(text);
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_SqliteSelectString(benchmark::State& state) {
    BareSqlite& bare = Bare();
    const std::vector<std::string> names = Prefixed("s");
    std::vector<char> buffer(4096);  // the size CRegistry reads through
    std::string text;
    size_t i = 0;
    for (auto _ : state) {
        const int size = bare.Select(names[i++ % kNames], buffer.data(), 4096);
        if (size < 0) state.SkipWithError("select failed");
        text.assign(buffer.data(), strnlen(buffer.data(), static_cast<size_t>(size)));
        benchmark::DoNotOptimize(text);
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_CRegistryReadDword(benchmark::State& state) {
    CRegistry& reg = Registry();
    const std::vector<std::string> names = Prefixed("d");
    DWORD value = 0;
    size_t i = 0;
    for (auto _ : state) {
        if (reg.Read(names[i++ % kNames].c_str(), value) != 1) state.SkipWithError("read failed");
        benchmark::DoNotOptimize(value);
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_SqliteSelectDword(benchmark::State& state) {
    BareSqlite& bare = Bare();
    const std::vector<std::string> names = Prefixed("d");
    uint32_t value = 0;
    size_t i = 0;
    for (auto _ : state) {
        if (bare.Select(names[i++ % kNames], &value, 4) != 4) state.SkipWithError("select failed");
        benchmark::DoNotOptimize(value);
    }
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_CRegistryWriteString);
BENCHMARK(BM_SqliteUpsertString);
BENCHMARK(BM_CRegistryWriteDword);
BENCHMARK(BM_SqliteUpsertDword);
BENCHMARK(BM_CRegistryReadString);
BENCHMARK(BM_SqliteSelectString);
BENCHMARK(BM_CRegistryReadDword);
BENCHMARK(BM_SqliteSelectDword);

}  // namespace

int main(int argc, char** argv) {
    char pattern[] = "/tmp/kardo-registry-bench-XXXXXX";
    if (!mkdtemp(pattern)) return 1;
    g_folder = pattern;
    setenv("KARDO_REGISTRY_DIR", g_folder.c_str(), 1);
    for (int i = 0; i < kNames; ++i) g_names.push_back("Value" + std::to_string(i));

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    Registry().Close();
    std::error_code ignored;
    std::filesystem::remove_all(g_folder, ignored);
    return 0;
}
