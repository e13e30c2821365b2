#pragma once

#include "base/memviamodule.h"

#include "support/service_component.h"

#include <bridge/app.h>

// The plug-in's component for class tests: the framework's crypt service and application info with the
// values the program sets at start-up, published as the plug-in's module for the life of the object.
class MemviaComponent : public ServiceComponent {
public:
    MemviaComponent()
    {
        app->set_property("channel_id", bg::Value(7), false);
        app->set_property("product_type", bg::Value(23000), false);
        app->set_property("release", bg::Value(true), false);
        memvia::setModule(this);
    }
    ~MemviaComponent() override { memvia::setModule(nullptr); }
};
