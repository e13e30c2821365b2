#include "net/requeststore.h"

#include "global/settings.h"

#include <bridge/app.h>
#include <bridge/bridge_init.h>
#include <bridge/dataauth.h>
#include <bridge/interface.h>

#include <mutex>

namespace requeststore {

namespace {

    std::mutex storesMutex;
    std::optional<Stores> replaced;

    std::optional<Stores> current()
    {
        std::lock_guard<std::mutex> lock(storesMutex);
        return replaced;
    }

    bg::Value frameworkData(const char* key, const bg::Value& fallback)
    {
        return CD && CD->data ? CD->data->get_data(key, fallback) : fallback;
    }
    void frameworkSetData(const char* key, const bg::Value& value)
    {
        if (CD && CD->data)
            CD->data->set_data(key, value);
    }
    bg::Value frameworkAppProperty(const char* key, const bg::Value& fallback)
    {
        return CD && CD->app ? CD->app->get_property(key, fallback, false) : fallback;
    }

} // namespace

bg::Value data(const char* key, const bg::Value& fallback)
{
    if (const std::optional<Stores> stores = current(); stores && stores->data)
        return stores->data(key, fallback);
    return frameworkData(key, fallback);
}

void setData(const char* key, const bg::Value& value)
{
    if (const std::optional<Stores> stores = current(); stores && stores->setData)
        return stores->setData(key, value);
    frameworkSetData(key, value);
}

bg::Value appProperty(const char* key, const bg::Value& fallback)
{
    if (const std::optional<Stores> stores = current(); stores && stores->appProperty)
        return stores->appProperty(key, fallback);
    return frameworkAppProperty(key, fallback);
}

std::string dataText(const char* key, const std::string& fallback)
{
    return data(key, bg::Value(fallback)).toStdString(fallback.c_str());
}

int64_t integerOf(const bg::Value& value, int64_t fallback) { return dataInteger(value, fallback); }

void setStores(std::optional<Stores> stores)
{
    std::lock_guard<std::mutex> lock(storesMutex);
    replaced = std::move(stores);
}

} // namespace requeststore
