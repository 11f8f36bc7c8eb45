#include "scene/blob.h"

#include "scene/element.h"
#include "scene/registry.h"

namespace kq::scene {

bool ReadBlobI32(media::ByteReader& in, int32_t& out) {
    out = in.I32();
    return in.Ok();
}

bool ReadBlobF64(media::ByteReader& in, double& out) {
    out = in.F64();
    return in.Ok();
}

bool ReadBlobString(media::ByteReader& in, std::string_view& out) {
    const int32_t length = in.I32();
    if (length < 0) {
        in.Fail();
    }
    out = in.Bytes(in.Ok() ? static_cast<size_t>(length) : 0);
    return in.Ok();
}

bool ReadBlobValue(media::ByteReader& in, PropKind kind, PropValue& out) {
    switch (kind) {
    case PropKind::Integer:
    case PropKind::Enumeration: {
        int32_t v = 0;
        if (!ReadBlobI32(in, v)) {
            return false;
        }
        out = v;
        return true;
    }
    case PropKind::Float: {
        double v = 0;
        if (!ReadBlobF64(in, v)) {
            return false;
        }
        out = v;
        return true;
    }
    case PropKind::String: {
        std::string_view v;
        if (!ReadBlobString(in, v)) {
            return false;
        }
        out = std::string(v);
        return true;
    }
    }
    return false;
}

void WriteBlobI32(media::ByteWriter& out, int32_t v) {
    out.I32(v);
}

void WriteBlobF64(media::ByteWriter& out, double v) {
    out.F64(v);
}

void WriteBlobString(media::ByteWriter& out, std::string_view s) {
    out.I32(static_cast<int32_t>(s.size()));
    out.Bytes(s);
}

namespace {

void AppendElement(media::ByteWriter& out, const TKQElement& element) {
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
        const size_t lengthAt = out.Size();
        WriteBlobI32(out, 0);
        AppendElement(out, *child);
        out.PatchU32(lengthAt, static_cast<uint32_t>(out.Size() - lengthAt - 4));
    }
}

} // namespace

std::string SaveElementBlob(const TKQElement& element) {
    media::ByteWriter out;
    AppendElement(out, element);
    return out.Take();
}

} // namespace kq::scene
