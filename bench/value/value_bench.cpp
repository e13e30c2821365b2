// The value map's text form beside jsoncpp, on the same 20-entry map of mixed types. The goal: a write then a
// read (ValueMapWriteThenRead) at least 3 times as fast as jsoncpp's (JsonWriteThenParse).
#include <bridge/valuemap.h>

#include <benchmark/benchmark.h>
#include <json/json.h>

#include <memory>
#include <string>

namespace {

constexpr int kEntries = 20;

std::string keyOf(int i) { return "key_" + std::to_string(i); }

// Five kinds in turn: int, text, double, bool, 64-bit id.
bg::ValueMap makeMap()
{
    bg::ValueMap map;
    for (int i = 0; i < kEntries; ++i) {
        const std::string key = keyOf(i);
        switch (i % 5) {
        case 0:
            map[key.c_str()] = bg::Value(i * 1000);
            break;
        case 1:
            map[key.c_str()] = bg::Value("meeting title number " + std::to_string(i));
            break;
        case 2:
            map[key.c_str()] = bg::Value(i * 1.25);
            break;
        case 3:
            map[key.c_str()] = bg::Value(i % 2 == 0);
            break;
        default:
            map[key.c_str()] = bg::Value(9000000000LL + i);
            break;
        }
    }
    return map;
}

Json::Value makeJson()
{
    Json::Value root(Json::objectValue);
    for (int i = 0; i < kEntries; ++i) {
        const std::string key = keyOf(i);
        switch (i % 5) {
        case 0:
            root[key] = i * 1000;
            break;
        case 1:
            root[key] = "meeting title number " + std::to_string(i);
            break;
        case 2:
            root[key] = i * 1.25;
            break;
        case 3:
            root[key] = i % 2 == 0;
            break;
        default:
            root[key] = static_cast<Json::Int64>(9000000000LL + i);
            break;
        }
    }
    return root;
}

void ValueMapWrite(benchmark::State& state)
{
    const bg::ValueMap map = makeMap();
    for (auto _ : state)
        benchmark::DoNotOptimize(map.write());
}
BENCHMARK(ValueMapWrite);

void ValueMapRead(benchmark::State& state)
{
    const std::string text = makeMap().write();
    bg::ValueMap map;
    for (auto _ : state) {
        benchmark::DoNotOptimize(map.read(text.c_str()));
        benchmark::ClobberMemory();
    }
    state.counters["bytes"] = static_cast<double>(text.size());
}
BENCHMARK(ValueMapRead);

void JsonWrite(benchmark::State& state)
{
    const Json::Value root = makeJson();
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    for (auto _ : state)
        benchmark::DoNotOptimize(Json::writeString(builder, root));
}
BENCHMARK(JsonWrite);

void JsonParse(benchmark::State& state)
{
    Json::StreamWriterBuilder writer;
    writer["indentation"] = "";
    const std::string text = Json::writeString(writer, makeJson());
    const std::unique_ptr<Json::CharReader> reader(Json::CharReaderBuilder().newCharReader());
    for (auto _ : state) {
        Json::Value root;
        std::string errors;
        benchmark::DoNotOptimize(reader->parse(text.data(), text.data() + text.size(), &root, &errors));
        benchmark::ClobberMemory();
    }
    state.counters["bytes"] = static_cast<double>(text.size());
}
BENCHMARK(JsonParse);

} // namespace

namespace {

// The goal's figure: one write then one read of the same content, for each form.
void ValueMapWriteThenRead(benchmark::State& state)
{
    const bg::ValueMap source = makeMap();
    bg::ValueMap copy;
    for (auto _ : state) {
        const std::string text = source.write();
        benchmark::DoNotOptimize(copy.read(text.c_str()));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(ValueMapWriteThenRead);

void JsonWriteThenParse(benchmark::State& state)
{
    const Json::Value source = makeJson();
    Json::StreamWriterBuilder writer;
    writer["indentation"] = "";
    const std::unique_ptr<Json::CharReader> reader(Json::CharReaderBuilder().newCharReader());
    for (auto _ : state) {
        const std::string text = Json::writeString(writer, source);
        Json::Value root;
        std::string errors;
        benchmark::DoNotOptimize(reader->parse(text.data(), text.data() + text.size(), &root, &errors));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(JsonWriteThenParse);

} // namespace
