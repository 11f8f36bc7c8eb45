// Reading and writing the serialized element format.
//
// All integers little-endian; a string is a 32-bit signed byte count followed by the bytes.
// An element is: class name (string), property count (int32), the values of the first count
// properties in registry order (ordinals int32, floats 8-byte doubles, strings), then until the
// end of the blob its children, each a string holding a complete serialized element.
//
// The readers check every length against what is left and never read past the end.
#pragma once

#include "media/byte_reader.h"
#include "scene/prop.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace kq::scene {

class TKQElement;

// Each read fails (and leaves the reader failed) when the value does not fit what is left; a
// string also fails on a negative length. A string is a view into the reader's buffer.
bool ReadBlobI32(media::ByteReader& in, int32_t& out);
bool ReadBlobF64(media::ByteReader& in, double& out);
bool ReadBlobString(media::ByteReader& in, std::string_view& out);
bool ReadBlobValue(media::ByteReader& in, PropKind kind, PropValue& out);

void WriteBlobI32(media::ByteWriter& out, int32_t v);
void WriteBlobF64(media::ByteWriter& out, double v);
void WriteBlobString(media::ByteWriter& out, std::string_view s);

// The serialized form of an element and its subtree: every published property of its class,
// then every child. Reading it back with LoadProps(keepKeys true) gives the same tree.
std::string SaveElementBlob(const TKQElement& element);

} // namespace kq::scene
