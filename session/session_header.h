// The header texts naming the Pro Tools release that saved the session.
#pragma once

#include <cstddef>
#include <cstdint>

#include "session/scan.h"

// Looks first over the first 1024 bytes (older sessions keep the header there) for a text of 10
// or more bytes beginning "Pro Tools"; when that finds none, reads the 0x0003 block that later
// releases keep near the end of the file, where the product text may be just "Pro Tools". The
// text after the product is the version: digits and points, else the product is emptied and the
// next place is tried. Other fields are left as they were when neither place gives a header.
void read_session_header(const std::uint8_t* data, std::size_t length, SessionHeaderInfo& out);
