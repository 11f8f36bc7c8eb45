// kqpack: the author's tool. Builds a game file (".kqf") from a JSON scene and dumps one back,
// builds, lists and extracts resource packs (".kst") and builds font archives.
//
// Exit codes: 0 success, 1 bad or unreadable input (or a failed write), 2 wrong usage.
// Subcommands: build, dump (scenes), pack, list, extract (packs), font (font archives), image
// (how the player loads a picture), filter (a shape effect's pixel filter over a picture),
// particles (shows or writes a particle parameter file).
//
// Each subcommand is one Add...Command function below that declares its options and sets the
// action to run; a new subcommand is one more such function and one line in main.
#include "media/text_encoding.h"
#include "scenejson/scene_json.h"
#include "tools/font_builder.h"
#include "tools/image_info.h"
#include "tools/pack_commands.h"
#include "tools/particle_commands.h"

#include <CLI/CLI.hpp>
#include <spdlog/sinks/stdout_color_sinks.h>
#include <spdlog/spdlog.h>

#include <filesystem>
#include <functional>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int kExitUsage = 2;

struct Context {
    std::string codePage = kq::media::kDefaultCodePage;
    bool verbose = false;
    std::function<int(const kq::media::TextCodec&)> action; // set by the chosen subcommand
};

void AddBuildCommand(CLI::App& app, Context& ctx) {
    auto* cmd = app.add_subcommand("build", "build a game file (.kqf) from a JSON scene");
    auto scene = std::make_shared<std::string>();
    auto out = std::make_shared<std::string>();
    cmd->add_option("SCENE", *scene, "JSON scene")->required();
    cmd->add_option("-o,--output", *out, "game file to write")->required();
    cmd->callback([&ctx, scene, out] {
        ctx.action = [scene, out](const kq::media::TextCodec& codec) {
            return kq::tools::BuildSceneFile(*scene, *out, codec, std::cerr);
        };
    });
}

void AddDumpCommand(CLI::App& app, Context& ctx) {
    auto* cmd = app.add_subcommand("dump", "write a game file (.kqf) as a JSON scene");
    auto game = std::make_shared<std::string>();
    auto out = std::make_shared<std::string>();
    cmd->add_option("GAME", *game, "game file")->required();
    cmd->add_option("-o,--output", *out, "JSON file to write (default: standard output)");
    cmd->callback([&ctx, game, out] {
        ctx.action = [game, out](const kq::media::TextCodec& codec) {
            return kq::tools::DumpSceneFile(*game, *out, codec, std::cout, std::cerr);
        };
    });
}

void AddPackCommand(CLI::App& app, Context& ctx) {
    auto* cmd = app.add_subcommand("pack", "build a resource pack (.kst) from a folder");
    auto dir = std::make_shared<std::string>();
    auto out = std::make_shared<std::string>();
    cmd->add_option("DIR", *dir, "folder whose files become the members")->required();
    cmd->add_option("-o,--output", *out, "pack to write")->required();
    cmd->callback([&ctx, dir, out] {
        ctx.action = [dir, out](const kq::media::TextCodec& codec) {
            return kq::tools::PackCommand(*dir, *out, codec, std::cout, std::cerr);
        };
    });
}

void AddListCommand(CLI::App& app, Context& ctx) {
    auto* cmd = app.add_subcommand("list", "list the members of a resource pack");
    auto pack = std::make_shared<std::string>();
    cmd->add_option("PACK", *pack, "resource pack")->required();
    cmd->callback([&ctx, pack] {
        ctx.action = [pack](const kq::media::TextCodec& codec) {
            return kq::tools::ListCommand(*pack, codec, std::cout, std::cerr);
        };
    });
}

void AddExtractCommand(CLI::App& app, Context& ctx) {
    auto* cmd = app.add_subcommand("extract", "extract members of a resource pack");
    auto pack = std::make_shared<std::string>();
    auto dir = std::make_shared<std::string>(".");
    auto names = std::make_shared<std::vector<std::string>>();
    cmd->add_option("PACK", *pack, "resource pack")->required();
    cmd->add_option("NAME", *names, "members to extract (default: all)");
    cmd->add_option("-C,--directory", *dir, "folder to extract into (default: current)");
    cmd->callback([&ctx, pack, dir, names] {
        ctx.action = [pack, dir, names](const kq::media::TextCodec& codec) {
            return kq::tools::ExtractCommand(*pack, *dir, *names, codec, std::cout, std::cerr);
        };
    });
}

void AddFontCommand(CLI::App& app, Context& ctx) {
    auto* cmd = app.add_subcommand("font", "add a TrueType font to a font archive (.kst)");
    auto options = std::make_shared<kq::tools::FontBuildOptions>();
    auto archive = std::make_shared<std::string>();
    auto add = std::make_shared<bool>(false);
    cmd->add_option("TTF", options->ttf, "TrueType font file")->required();
    cmd->add_option("--size", options->pixelSize, "pixel size")->required();
    cmd->add_option("--name", options->name, "font name in the archive")->required();
    cmd->add_option("-o,--output", *archive, "font archive to write")->required();
    cmd->add_flag("--add", *add, "keep the archive's other members");
    cmd->callback([&ctx, options, archive, add] {
        ctx.action = [options, archive, add](const kq::media::TextCodec& codec) {
            options->codePage = codec.CodePage();
            if (!kq::tools::WriteFontToArchive(*options, *archive, *add)) {
                std::cerr << "kqpack: cannot build the font '" << options->name << "' into '"
                          << *archive << "'\n";
                return 1;
            }
            return 0;
        };
    });
}

void AddImageCommand(CLI::App& app, Context& ctx) {
    auto* cmd = app.add_subcommand("image", "show how the player loads one picture of a game");
    auto game = std::make_shared<std::string>();
    auto name = std::make_shared<std::string>();
    auto png = std::make_shared<std::string>();
    cmd->add_option("GAMEDIR", *game, "game file (.kqf) or the folder holding it")->required();
    cmd->add_option("NAME", *name, "picture name as the scene uses it")->required();
    cmd->add_option("--png", *png, "also write the decoded picture as PNG");
    cmd->callback([&ctx, game, name, png] {
        ctx.action = [game, name, png](const kq::media::TextCodec& codec) {
            std::optional<fs::path> pngOut;
            if (!png->empty()) {
                pngOut = fs::path(*png);
            }
            return kq::tools::ImageCommand(*game, *name, pngOut, codec.CodePage(), std::cout,
                                           std::cerr);
        };
    });
}

void AddFilterCommand(CLI::App& app, Context& ctx) {
    auto* cmd = app.add_subcommand("filter", "apply a shape effect's pixel filter to a picture");
    auto in = std::make_shared<std::string>();
    auto out = std::make_shared<std::string>();
    auto options = std::make_shared<kq::tools::FilterOptions>();
    cmd->add_option("IN", *in, "picture to read (PNG, JPEG, BMP, TGA)")->required();
    cmd->add_option("OUT", *out, "PNG to write")->required();
    cmd->add_option("--filter", options->filter, "filter value (0..15) or name (flWave ...)")
        ->required();
    cmd->add_option("--par1", options->par1, "Par1 (default 0)");
    cmd->add_option("--par2", options->par2, "Par2 (default 0)");
    cmd->add_option("--par3", options->par3, "Par3 (default 0)");
    cmd->add_option("--seed", options->seed,
                    "seed of the noise filter's random numbers (default 0)");
    cmd->callback([&ctx, in, out, options] {
        ctx.action = [in, out, options](const kq::media::TextCodec&) {
            return kq::tools::FilterCommand(*in, *out, *options, std::cerr);
        };
    });
}

void AddParticlesCommand(CLI::App& app, Context& ctx) {
    auto* cmd = app.add_subcommand("particles", "show or write a particle parameter file");
    auto file = std::make_shared<std::string>();
    auto out = std::make_shared<std::string>();
    auto sets = std::make_shared<std::vector<std::string>>();
    cmd->add_option("FILE", *file, "parameter file to show (with -o: the one to start from)");
    cmd->add_option("--set", *sets, "NAME=VALUE: set one field (repeatable; needs -o)")
        ->allow_extra_args(false);
    cmd->add_option("-o,--output", *out, "parameter file to write");
    cmd->callback([&ctx, file, out, sets] {
        ctx.action = [file, out, sets](const kq::media::TextCodec&) {
            if (!out->empty()) {
                std::optional<fs::path> in;
                if (!file->empty()) {
                    in = fs::path(*file);
                }
                return kq::tools::ParticlesWriteCommand(in, *sets, *out, std::cerr);
            }
            if (file->empty() || !sets->empty()) {
                std::cerr << "kqpack: particles needs FILE to show, or -o OUT to write\n";
                return kExitUsage;
            }
            return kq::tools::ParticlesPrintCommand(*file, std::cout, std::cerr);
        };
    });
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"kqpack: builds and inspects game files (.kqf) and resource packs (.kst)"};
    Context ctx;
    app.add_option("--codepage", ctx.codePage, "the game's 8-bit code page (iconv name)")
        ->capture_default_str();
    app.add_flag("-v,--verbose", ctx.verbose, "also print the library's log lines");
    app.fallthrough();
    app.require_subcommand(1);

    AddBuildCommand(app, ctx);
    AddDumpCommand(app, ctx);
    AddPackCommand(app, ctx);
    AddListCommand(app, ctx);
    AddExtractCommand(app, ctx);
    AddFontCommand(app, ctx);
    AddImageCommand(app, ctx);
    AddFilterCommand(app, ctx);
    AddParticlesCommand(app, ctx);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? 0 : kExitUsage;
    }

    // Log lines go to standard error so that a dump to standard output stays clean JSON; the
    // commands print their own messages, so the library's lines are shown only on request.
    auto logger = spdlog::stderr_color_mt("kqpack");
    logger->set_level(ctx.verbose ? spdlog::level::debug : spdlog::level::err);
    spdlog::set_default_logger(logger);

    kq::media::TextCodec codec(ctx.codePage);
    if (!codec.Valid()) {
        std::cerr << "kqpack: unknown code page '" << ctx.codePage << "'\n";
        return kExitUsage;
    }
    if (!ctx.action) {
        std::cerr << app.help();
        return kExitUsage;
    }
    try {
        return ctx.action(codec);
    } catch (const std::exception& e) {
        // Last line of defence (for example a full disk making a stream throw).
        std::cerr << "kqpack: " << e.what() << "\n";
        return 1;
    }
}
