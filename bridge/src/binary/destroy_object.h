#pragma once

namespace bg {

// The one routine behind the destroy functions of the factory-made services: deletes *object and sets
// it to null; nothing when either pointer is null.
template <typename T> void destroyObject(T** object)
{
    if (!object || !*object)
        return;
    delete *object;
    *object = nullptr;
}

} // namespace bg
