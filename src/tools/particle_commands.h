// "kqpack particles": shows and writes particle parameter files (the 136-byte emitter
// descriptions), so an effect can be inspected and a new one made without the authoring tool.
//
// Fields are named as in media::ParticleFields() ("first_pattern" ... "newest_first"). Floats
// print in their shortest exact form; colours and the blend value print as unsigned integers
// (ARGB for colours). A field that the file is too short to hold, or a float that is not finite,
// prints as null.
#pragma once

#include "media/particle_params.h"

#include <cstddef>
#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kq::tools {

// The block's fields as one JSON object in block order, one field per line; the fields beyond
// `bytesRead` are null.
std::string ParticleBlockJson(const media::ParticleBlock& block, size_t bytesRead);

// Applies one "NAME=VALUE" assignment: integers for the pattern, flag and "unused" fields,
// unsigned integers (decimal or 0x hex) for blend and colours, finite numbers for the floats.
// Answers an error message, or nothing when the field was set.
std::optional<std::string> SetParticleField(media::ParticleBlock& block,
                                            std::string_view assignment);

// Prints the parameter file as JSON to out. Exit code 1 (message to err) when it cannot be read.
int ParticlesPrintCommand(const std::filesystem::path& file, std::ostream& out, std::ostream& err);
// Writes a 136-byte parameter file: the block of input (all zero without one; a short input
// leaves zeros after it) with the assignments applied in order. Exit code 1 (message to err)
// for an unreadable input, a bad assignment (nothing is written) or a failed write.
int ParticlesWriteCommand(const std::optional<std::filesystem::path>& input,
                          const std::vector<std::string>& assignments,
                          const std::filesystem::path& output, std::ostream& err);

} // namespace kq::tools
