#include "scene/blob.h"

#include "scene/element.h"
#include "scene/registry.h"

#include <cstring>

namespace kq::scene {

bool ReadBlobI32(std::string_view blob, size_t& pos, int32_t& out) {
    if (pos > blob.size() || blob.size() - pos < 4) {
        return false;
    }
    uint32_t u = 0;
    for (int i = 0; i < 4; ++i) {
        u |= static_cast<uint32_t>(static_cast<uint8_t>(blob[pos + i])) << (8 * i);
    }
    out = static_cast<int32_t>(u);
    pos += 4;
    return true;
}

bool ReadBlobF64(std::string_view blob, size_t& pos, double& out) {
    if (pos > blob.size() || blob.size() - pos < 8) {
        return false;
    }
    uint64_t u = 0;
    for (int i = 0; i < 8; ++i) {
        u |= static_cast<uint64_t>(static_cast<uint8_t>(blob[pos + i])) << (8 * i);
    }
    std::memcpy(&out, &u, 8);
    pos += 8;
    return true;
}

bool ReadBlobString(std::string_view blob, size_t& pos, std::string_view& out) {
    int32_t length = 0;
    size_t at = pos;
    if (!ReadBlobI32(blob, at, length) || length < 0) {
        return false;
    }
    if (static_cast<size_t>(length) > blob.size() - at) {
        return false;
    }
    out = blob.substr(at, static_cast<size_t>(length));
    pos = at + static_cast<size_t>(length);
    return true;
}

bool ReadBlobValue(std::string_view blob, size_t& pos, PropKind kind, PropValue& out) {
    switch (kind) {
    case PropKind::Integer:
    case PropKind::Enumeration: {
        int32_t v = 0;
        if (!ReadBlobI32(blob, pos, v)) {
            return false;
        }
        out = v;
        return true;
    }
    case PropKind::Float: {
        double v = 0;
        if (!ReadBlobF64(blob, pos, v)) {
            return false;
        }
        out = v;
        return true;
    }
    case PropKind::String: {
        std::string_view v;
        if (!ReadBlobString(blob, pos, v)) {
            return false;
        }
        out = std::string(v);
        return true;
    }
    }
    return false;
}

void WriteBlobI32(std::string& out, int32_t v) {
    auto u = static_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<char>((u >> (8 * i)) & 0xFF));
    }
}

void WriteBlobF64(std::string& out, double v) {
    uint64_t u = 0;
    std::memcpy(&u, &v, 8);
    for (int i = 0; i < 8; ++i) {
        out.push_back(static_cast<char>((u >> (8 * i)) & 0xFF));
    }
}

void WriteBlobString(std::string& out, std::string_view s) {
    WriteBlobI32(out, static_cast<int32_t>(s.size()));
    out.append(s);
}

namespace {

void AppendElement(std::string& out, const TKQElement& element) {
    const TKQClass& entry = element.ClassEntry();
    WriteBlobString(out, entry.className);
    WriteBlobI32(out, static_cast<int32_t>(entry.props.size()));
    for (const TKQProp& prop : entry.props) {
        PropValue value = prop.get(element);
        switch (prop.kind) {
        case PropKind::Integer:
        case PropKind::Enumeration:
            WriteBlobI32(out, PropInt(value));
            break;
        case PropKind::Float:
            WriteBlobF64(out, PropFloat(value));
            break;
        case PropKind::String:
            WriteBlobString(out, PropString(value));
            break;
        }
    }
    for (const auto& child : element.Children()) {
        // A child is a string whose bytes are its serialized element: reserve the length,
        // write the child in place, then patch the length.
        const size_t lengthAt = out.size();
        WriteBlobI32(out, 0);
        AppendElement(out, *child);
        const auto length = static_cast<uint32_t>(out.size() - lengthAt - 4);
        for (int i = 0; i < 4; ++i) {
            out[lengthAt + i] = static_cast<char>((length >> (8 * i)) & 0xFF);
        }
    }
}

} // namespace

std::string SaveElementBlob(const TKQElement& element) {
    std::string out;
    AppendElement(out, element);
    return out;
}

} // namespace kq::scene
