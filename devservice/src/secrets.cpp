#include <devservice/secrets.h>

#include <utility>
#include <vector>

namespace devservice {

namespace {

    constexpr char kMask[] = "***";

    bool endsWith(const std::string& text, const char* tail)
    {
        const std::string suffix(tail);
        return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
    }

} // namespace

bool isSecretName(const std::string& name)
{
    return name == "password" || name == "pwd" || name == "token" || name == "owner_key" || name == "code"
        || name == "wx_code" || endsWith(name, "_password") || endsWith(name, "_pwd") || endsWith(name, "_token");
}

Json::Value maskedSecrets(const Json::Value& value)
{
    Json::Value masked = value;
    std::vector<Json::Value*> pending { &masked };
    while (!pending.empty()) {
        Json::Value* node = pending.back();
        pending.pop_back();
        if (node->isObject()) {
            for (const std::string& name : node->getMemberNames()) {
                Json::Value& member = (*node)[name];
                // An empty text gives nothing away and shows that none was sent.
                const bool empty = member.isNull() || (member.isString() && member.asString().empty());
                if (isSecretName(name) && !empty && !member.isObject() && !member.isArray())
                    member = kMask;
                else
                    pending.push_back(&member);
            }
        } else if (node->isArray()) {
            for (Json::Value& element : *node)
                pending.push_back(&element);
        }
    }
    return masked;
}

std::string maskedQuery(const std::string& query)
{
    std::string out;
    size_t start = 0;
    while (start <= query.size()) {
        size_t end = query.find('&', start);
        if (end == std::string::npos)
            end = query.size();
        const std::string item = query.substr(start, end - start);
        const size_t equals = item.find('=');
        if (!out.empty() || start > 0)
            out += '&';
        if (equals != std::string::npos && isSecretName(item.substr(0, equals)))
            out += item.substr(0, equals + 1) + kMask;
        else
            out += item;
        start = end + 1;
    }
    return out;
}

} // namespace devservice
