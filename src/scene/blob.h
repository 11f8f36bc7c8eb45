// Reading and writing the serialized element format.
//
// All integers little-endian; a string is a 32-bit signed byte count followed by the bytes.
// An element is: class name (string), property count (int32), the values of the first count
// properties in registry order (ordinals int32, floats 8-byte doubles, strings), then until the
// end of the blob its children, each a string holding a complete serialized element.
//
// The readers check every length against what is left and never read past the end.
#pragma once

#include "scene/prop.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace kq::scene {

class TKQElement;

bool ReadBlobI32(std::string_view blob, size_t& pos, int32_t& out);
bool ReadBlobF64(std::string_view blob, size_t& pos, double& out);
// A view into blob; fails on a negative length or one longer than what is left.
bool ReadBlobString(std::string_view blob, size_t& pos, std::string_view& out);
bool ReadBlobValue(std::string_view blob, size_t& pos, PropKind kind, PropValue& out);

void WriteBlobI32(std::string& out, int32_t v);
void WriteBlobF64(std::string& out, double v);
void WriteBlobString(std::string& out, std::string_view s);

// The serialized form of an element and its subtree: every published property of its class,
// then every child. Reading it back with LoadProps(keepKeys true) gives the same tree.
std::string SaveElementBlob(const TKQElement& element);

} // namespace kq::scene
