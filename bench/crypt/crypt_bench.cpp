#include <bridge/crypt.h>

#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstdlib>
#include <memory>
#include <vector>

namespace {

constexpr unsigned char kKey[16] = { 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15 };

std::vector<unsigned char> data_of(size_t n)
{
    std::vector<unsigned char> data(n);
    for (size_t i = 0; i < n; ++i)
        data[i] = static_cast<unsigned char>(i * 131 + 7);
    return data;
}

void BM_Aes128Ecb_Bridge(benchmark::State& state)
{
    bg::Crypt crypt;
    auto data = data_of(size_t(state.range(0)));
    bg::Aes_Context* ctx = crypt.aes_new();
    crypt.aes_set_key(ctx, kKey, 128, 0);
    for (auto _ : state) {
        crypt.aes_crypt_blocks(ctx, data.data(), data.data(), int(data.size() / 16), nullptr, 0);
        benchmark::DoNotOptimize(data.data());
    }
    crypt.aes_free(&ctx);
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}

void BM_Aes128Ecb_OpenSsl(benchmark::State& state)
{
    auto data = data_of(size_t(state.range(0)));
    std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(
        EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
    EVP_EncryptInit_ex(ctx.get(), EVP_aes_128_ecb(), nullptr, kKey, nullptr);
    EVP_CIPHER_CTX_set_padding(ctx.get(), 0);
    int n = 0;
    for (auto _ : state) {
        EVP_EncryptUpdate(ctx.get(), data.data(), &n, data.data(), int(data.size()));
        benchmark::DoNotOptimize(data.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}

void BM_Md5_Bridge(benchmark::State& state)
{
    bg::Crypt crypt;
    auto data = data_of(size_t(state.range(0)));
    for (auto _ : state) {
        char* digest = crypt.md5(data.data(), unsigned(data.size()));
        benchmark::DoNotOptimize(digest);
        crypt.free_buffer(digest);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}

void BM_Md5_OpenSsl(benchmark::State& state)
{
    auto data = data_of(size_t(state.range(0)));
    unsigned char digest[16];
    for (auto _ : state) {
        EVP_Digest(data.data(), data.size(), digest, nullptr, EVP_md5(), nullptr);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}

void BM_Base64Encode_Bridge(benchmark::State& state)
{
    bg::Crypt crypt;
    auto data = data_of(size_t(state.range(0)));
    std::vector<char> out(size_t(crypt.base64_encode_len(int(data.size()))));
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            crypt.base64_encode_buf(out.data(), int(out.size()), data.data(), int(data.size())));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}

void BM_Base64Encode_OpenSsl(benchmark::State& state)
{
    auto data = data_of(size_t(state.range(0)));
    std::vector<unsigned char> out(data.size() / 3 * 4 + 8);
    for (auto _ : state) {
        benchmark::DoNotOptimize(EVP_EncodeBlock(out.data(), data.data(), int(data.size())));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}

void BM_Base64Decode_Bridge(benchmark::State& state)
{
    bg::Crypt crypt;
    auto data = data_of(size_t(state.range(0)));
    std::vector<char> text(size_t(crypt.base64_encode_len(int(data.size()))));
    crypt.base64_encode_buf(text.data(), int(text.size()), data.data(), int(data.size()));
    std::vector<unsigned char> out(data.size() + 3);
    for (auto _ : state) {
        benchmark::DoNotOptimize(crypt.base64_decode_buf(out.data(), text.data(), int(out.size())));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}

void BM_Base64Decode_OpenSsl(benchmark::State& state)
{
    auto data = data_of(size_t(state.range(0)));
    std::vector<unsigned char> text(data.size() / 3 * 4 + 8);
    int length = EVP_EncodeBlock(text.data(), data.data(), int(data.size()));
    std::vector<unsigned char> out(data.size() + 3);
    for (auto _ : state) {
        benchmark::DoNotOptimize(EVP_DecodeBlock(out.data(), text.data(), length));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}

constexpr int64_t kKiB = 1024, kMiB = 1024 * 1024;

} // namespace

BENCHMARK(BM_Aes128Ecb_Bridge)->Arg(kKiB)->Arg(kMiB);
BENCHMARK(BM_Aes128Ecb_OpenSsl)->Arg(kKiB)->Arg(kMiB);
BENCHMARK(BM_Md5_Bridge)->Arg(kMiB);
BENCHMARK(BM_Md5_OpenSsl)->Arg(kMiB);
BENCHMARK(BM_Base64Encode_Bridge)->Arg(kMiB);
BENCHMARK(BM_Base64Encode_OpenSsl)->Arg(kMiB);
BENCHMARK(BM_Base64Decode_Bridge)->Arg(kMiB);
BENCHMARK(BM_Base64Decode_OpenSsl)->Arg(kMiB);
