#pragma once

namespace bg {

// Authority mark that the run-time data store reads from a stored bg::Value (one byte). Its values and
// their meaning belong to the data store: 0 means unprotected.
enum DAuthority : unsigned char {};

} // namespace bg
