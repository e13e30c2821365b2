#include "net/jsontext.h"

#include <json/writer.h>

#include <memory>
#include <sstream>

namespace jsontext {

std::string styled(const Json::Value& value)
{
    // The default builder is what toStyledString uses: tab indentation, every comment kept.
    thread_local const std::unique_ptr<Json::StreamWriter> writer(Json::StreamWriterBuilder().newStreamWriter());
    thread_local std::ostringstream out;
    out.str(std::string());
    out.clear();
    if (value.hasComment(Json::commentBefore))
        out << '\n';
    writer->write(value, &out);
    out << '\n';
    return out.str();
}

} // namespace jsontext
