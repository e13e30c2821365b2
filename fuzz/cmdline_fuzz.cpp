// The command-line parser: any argument list (the input's NUL-separated parts) parses without fault and
// without an exception, and the usage text stays available.
#include <bridge/cmdline.h>

#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<std::string> parts(1, "program");
    std::string current;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            parts.push_back(current);
            current.clear();
        } else {
            current += char(data[i]);
        }
    }
    parts.push_back(current);
    std::vector<const char*> argv;
    for (const std::string& part : parts)
        argv.push_back(part.c_str());
    argv.push_back(nullptr);

    cmdline::parser parser;
    parser.add("help", 'h', "usage");
    parser.add<std::string>("host", 'H', "host name", false, "localhost");
    parser.add<int>("port", 'p', "port", false, 80);
    parser.add<unsigned int>("count", 'c', "count", false, 1);
    parser.add<int64_t>("id", 'i', "user id", false, 0);
    parser.add<uint64_t>("stream", 's', "stream id", false, 0);
    parser.add<double>("scale", 'x', "scale", false, 1.0);
    parser.add<float>("volume", 'v', "volume", false, 0.5f);
    parser.add<bool>("debug", 'd', "debug", false, false);
    parser.add<std::string>("name", 'n', "required name", true);
    parser.parse(int(parts.size()), argv.data());
    parser.usage();
    parser.get<std::string>("host");
    parser.get<int>("port");
    parser.get<double>("scale");
    parser.exist("help");
    return 0;
}
