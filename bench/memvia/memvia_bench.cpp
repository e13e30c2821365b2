#include "QrEncoder/src/qr_encoder.h"
#include "base/basenet.h"
#include "base/memviamodule.h"

#include "support/service_component.h"

#include <QGuiApplication>

#include <benchmark/benchmark.h>

namespace {

// A login request as the plug-in builds it, signed with the current time.
void SignLoginBody(benchmark::State& state)
{
    ServiceComponent component;
    memvia::setModule(&component);
    const std::string params = R"({"product_type": 23000, "account": "member", "password":
        "6a5a2c6b0e4a1e0b9f7c3a1d2e4f6a8b", "mac_addr": "AA:BB:CC:DD:EE:FF", "device_name": "host",
        "machine_code": "0123456789abcdef0123456789abcdef", "net_url": "https://127.0.0.1/goapi/user/x"})";
    for (auto _ : state)
        benchmark::DoNotOptimize(BaseNet::makeBody(params));
    memvia::setModule(nullptr);
}
BENCHMARK(SignLoginBody);

// The payment form's code: 200 × 200, margin 5, level M.
void PaintPaymentCode(benchmark::State& state)
{
    static int argc = 1;
    static char name[] = "bench_memvia";
    static char* argv[] = { name, nullptr };
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(argc, argv);
    zov::QREncoder encoder;
    const zov::QREncodeOptions options;
    for (auto _ : state)
        benchmark::DoNotOptimize(encoder.encode("https://127.0.0.1:8443/goapi/pay?order_id=5001", options));
}
BENCHMARK(PaintPaymentCode);

} // namespace
