#pragma once

// Marks what libbridge.so exports; everything else is built with hidden visibility.
// Classes whose objects cross the library boundary (dynamic_cast, typeid, exceptions) are marked
// as a whole, so that their type information is exported too.
#define BG_API __attribute__((visibility("default")))
