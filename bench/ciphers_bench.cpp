// Block throughput of endes/dedes against OpenSSL's single-block DES in the
// same run, and TeaEncryptString/TeaDecryptString of 1 KiB texts.
#include <kardo/kardo.h>

#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/des.h>

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <string>

namespace {

const unsigned char kKey[8] = {0x13, 0x34, 0x57, 0x79, 0x9B, 0xBC, 0xDF, 0xF1};

// Each block is the previous result, so no call can be skipped or overlapped.
void kardo_blocks(benchmark::State& state,
                  int (*crypt)(const unsigned char[16][8], unsigned char[8])) {
    desinit(0);
    unsigned char schedule[16][8];
    setkey(schedule, kKey);
    unsigned char block[8] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
    for (auto _ : state) {
        crypt(schedule, block);
        benchmark::DoNotOptimize(block);
    }
    state.SetItemsProcessed(state.iterations());
    desdone();
}

void BM_kardo_endes(benchmark::State& state) { kardo_blocks(state, endes); }
BENCHMARK(BM_kardo_endes);

void BM_kardo_dedes(benchmark::State& state) { kardo_blocks(state, dedes); }
BENCHMARK(BM_kardo_dedes);

void openssl_blocks(benchmark::State& state, int direction) {
    DES_cblock key;
    std::memcpy(key, kKey, 8);
    DES_key_schedule schedule;
    DES_set_key_unchecked(&key, &schedule);
    DES_cblock block = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
    for (auto _ : state) {
        DES_ecb_encrypt(&block, &block, &schedule, direction);
        benchmark::DoNotOptimize(block);
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_openssl_DES_ecb_encrypt(benchmark::State& state) { openssl_blocks(state, DES_ENCRYPT); }
BENCHMARK(BM_openssl_DES_ecb_encrypt);

void BM_openssl_DES_ecb_decrypt(benchmark::State& state) { openssl_blocks(state, DES_DECRYPT); }
BENCHMARK(BM_openssl_DES_ecb_decrypt);

// Key schedules, for completeness: setkey works bit by bit.
void BM_kardo_setkey(benchmark::State& state) {
    unsigned char schedule[16][8];
    unsigned char key[8];
    std::memcpy(key, kKey, 8);
    for (auto _ : state) {
        setkey(schedule, key);
        benchmark::DoNotOptimize(schedule);
        key[0] ^= schedule[3][2];
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_kardo_setkey);

void BM_openssl_DES_set_key_unchecked(benchmark::State& state) {
    DES_cblock key;
    std::memcpy(key, kKey, 8);
    DES_key_schedule schedule;
    for (auto _ : state) {
        DES_set_key_unchecked(&key, &schedule);
        benchmark::DoNotOptimize(schedule);
        key[0] ^= static_cast<unsigned char>(schedule.ks[3].deslong[1]);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_openssl_DES_set_key_unchecked);

std::string random_text(std::size_t length) {
    std::mt19937 random(1024);
    std::uniform_int_distribution<int> printable(' ', '~');
    std::string text(length, ' ');
    for (auto& c : text) c = static_cast<char>(printable(random));
    return text;
}

const uint32_t kTeaKey[4] = {0x01234567, 0x89ABCDEF, 0xFEDCBA98, 0x76543210};

void BM_TeaEncryptString(benchmark::State& state) {
    const std::string text = random_text(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(CTEA::TeaEncryptString(text, kTeaKey));
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_TeaEncryptString)->Arg(1024);

void BM_TeaDecryptString(benchmark::State& state) {
    const std::string encrypted =
        CTEA::TeaEncryptString(random_text(static_cast<std::size_t>(state.range(0))), kTeaKey);
    for (auto _ : state) benchmark::DoNotOptimize(CTEA::TeaDecryptString(encrypted, kTeaKey));
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_TeaDecryptString)->Arg(1024);

}  // namespace

BENCHMARK_MAIN();
