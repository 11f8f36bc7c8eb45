// kqscript: runs a script text or file on a fresh interpreter and prints its variables.
//
//   kqscript FILE            the file's bytes are script source in the game's code page
//   kqscript -e TEXT         TEXT is UTF-8 and converted to the code page first
//   --codepage CP            the game's code page (default windows-1251)
//   --scene GAME.kqf         load a game's scene first, as the player loads it (pack, language
//                            file, sound table; its folder and pack serve INCLUDE/USES)
//   --self PATH              with --scene: SELF is the element at the dotted Id path below the
//                            root, e.g. MENU.START
//   --data-dir DIR           with --scene: the data folder for settings and saved games
//
// The whole library is registered. With --scene the engine functions act on the loaded scene;
// there is no window, so drawing and sound do nothing. Without a scene every engine function
// does nothing and succeeds, as a call with a wrong handle does.
//
// After the run every variable is printed as "NAME = KIND VALUE". Warnings and the error line
// go to standard error exactly as the error log would hold them (code-page bytes). Exit codes:
// 0 success, 1 a script error was reported, 2 usage or file error.
#include <CLI/CLI.hpp>
#include <spdlog/sinks/stdout_color_sinks.h>
#include <spdlog/spdlog.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "elements/classes.h"
#include "media/game_files.h"
#include "media/text_encoding.h"
#include "render/image_service.h"
#include "render/recording_canvas.h"
#include "scene/db.h"
#include "scene/script_runtime.h"
#include "script/native_stack.h"
#include "script/pascalc.h"
#include "script/stdlib.h"
#include "scriptlib/engine_functions.h"
#include "scriptlib/title_packs.h"
#include "shell/game_loading.h"

#include <filesystem>
#include <optional>

namespace {

std::string Quote(const std::string& utf8) {
    std::string out = "'";
    for (char c : utf8) {
        out.push_back(c);
        if (c == '\'') {
            out.push_back('\'');
        }
    }
    out.push_back('\'');
    return out;
}

std::string Describe(const kq::script::Value& v, const kq::media::TextCodec& codec) {
    using kq::script::VarKind;
    std::string out(kq::script::KindName(v.Kind()));
    switch (v.Kind()) {
    case VarKind::Empty:
        return out;
    case VarKind::Boolean:
        return out + " " + (v.RawInt() ? "True" : "False");
    case VarKind::Double:
        return out + " " + kq::script::FloatToText(v.RawDouble());
    case VarKind::String:
        return out + " " + Quote(codec.ToUtf8(v.RawStr()));
    default:
        return out + " " + std::to_string(v.RawInt());
    }
}

bool SameNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

// The element at a dotted Id path below the root ("" is the root itself), or null.
kq::scene::TKQElement* FindByIdPath(kq::scene::TKQElement& root, std::string_view path) {
    kq::scene::TKQElement* current = &root;
    while (!path.empty() && current) {
        size_t dot = path.find('.');
        std::string_view id = path.substr(0, dot);
        kq::scene::TKQElement* next = nullptr;
        for (const auto& child : current->Children()) {
            if (SameNoCase(child->Id, id)) {
                next = child.get();
                break;
            }
        }
        current = next;
        path = dot == std::string_view::npos ? std::string_view() : path.substr(dot + 1);
    }
    return current;
}

void PrintVariables(const kq::script::TVarList& vars, const kq::media::TextCodec& codec) {
    for (const kq::script::TVar& v : vars.Items()) {
        std::cout << codec.ToUtf8(v.name) << " = " << Describe(v.value, codec) << "\n";
    }
}

void WriteLogLine(std::string_view line) {
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fputc('\n', stderr);
}

struct SceneOptions {
    std::string scenePath;
    std::string selfPath;
    std::string dataDir;
};

// Runs the source against a loaded scene with SELF at selfPath.
int RunInScene(const std::string& source, const SceneOptions& options, const std::string& codePage,
               const kq::media::TextCodec& codec) {
    namespace fs = std::filesystem;
    const fs::path gameFile = kq::media::ResolveGameFile(options.scenePath);
    std::error_code ec;
    if (!fs::is_regular_file(gameFile, ec)) {
        std::cerr << "kqscript: cannot read " << options.scenePath << "\n";
        return 2;
    }
    kq::media::GameFiles files(gameFile.parent_path(), codePage);

    kq::scene::Runtime runtime(kq::elements::ElementClasses());
    runtime.dataDir = options.dataDir;
    kq::scene::ScriptRuntime scripts(runtime, [&scripts, &runtime](kq::script::TPasCalc& calc) {
        kq::script::library::RegisterGameLibrary(calc, scripts, runtime);
    });
    runtime.scripts = &scripts;
    scripts.Env().onLogLine = WriteLogLine;
    kq::shell::ReadScriptsFromGame(scripts, files);
    // Pictures load as in the player (GetPixel reads them) but nothing is drawn: the canvas
    // only holds textures, and the runtime has none to draw on.
    kq::render::RecordingCanvas textureStore;
    kq::render::ImageService images(files, textureStore, [&runtime] { return runtime.tickCount; });
    runtime.images = &images;
    runtime.files = &files;
    kq::scene::TKQDB db(runtime);
    scripts.SetRoot(&db);
    if (!kq::shell::LoadGameScene(db, runtime, gameFile)) {
        std::cerr << "kqscript: warning: " << options.scenePath << " is cut short or corrupt\n";
    }

    kq::scene::TKQElement* self = FindByIdPath(db, codec.FromUtf8(options.selfPath));
    if (!self) {
        std::cerr << "kqscript: no element at " << options.selfPath << "\n";
        return 2;
    }
    scripts.Env().self = self->Handle();
    kq::script::TPasCalc& calc = scripts.Pool().Current();
    bool ok = calc.Run(source);
    PrintVariables(calc.Variables(), codec);
    return ok ? 0 : 1;
}

} // namespace

int Main(int argc, char** argv) {
    CLI::App app{"Runs a script on a fresh interpreter and prints its variables"};
    std::string file;
    std::string text;
    std::string codePage = kq::media::kDefaultCodePage;
    auto* fileOpt = app.add_option("FILE", file, "script file (bytes in the game's code page)");
    auto* textOpt = app.add_option("-e,--eval", text, "script text (UTF-8)");
    fileOpt->excludes(textOpt);
    app.add_option("--codepage", codePage, "the game's code page");
    SceneOptions scene;
    app.add_option("--scene", scene.scenePath, "load this game file (.kqf) before the run");
    app.add_option("--self", scene.selfPath,
                   "dotted Id path of SELF below the root, e.g. MENU.START")
        ->needs(app.get_option("--scene"));
    app.add_option("--data-dir", scene.dataDir, "with --scene: folder for settings and saves")
        ->needs(app.get_option("--scene"));
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        int rc = app.exit(e);
        return rc == 0 ? 0 : 2;
    }
    if (file.empty() == (textOpt->count() == 0)) {
        std::cerr << "kqscript: give a FILE or -e TEXT\n";
        return 2;
    }
    // Log lines of the scene and its files go to stderr: stdout holds only the variables.
    spdlog::set_default_logger(spdlog::stderr_color_mt("kqscript"));
    kq::media::TextCodec codec(codePage);
    if (!codec.Valid()) {
        std::cerr << "kqscript: unknown code page " << codePage << "\n";
        return 2;
    }
    std::string source;
    if (!file.empty()) {
        std::ifstream in(file, std::ios::binary);
        if (!in) {
            std::cerr << "kqscript: cannot read " << file << "\n";
            return 2;
        }
        std::ostringstream buf;
        buf << in.rdbuf();
        source = buf.str();
    } else {
        source = codec.FromUtf8(text);
    }

    if (!scene.scenePath.empty()) {
        return RunInScene(source, scene, codePage, codec);
    }

    kq::script::ScriptEnv env;
    env.onLogLine = WriteLogLine;
    kq::script::TPasCalc calc(&env);
    kq::script::RegisterLibrary(calc, kq::script::library::SceneLessEngineFunctions(),
                                kq::script::library::SceneLessTitleProcedures());
    bool ok = calc.Run(source);
    PrintVariables(calc.Variables(), codec);
    return ok ? 0 : 1;
}

int main(int argc, char** argv) {
    // Scripts may recurse deeply: they run on a thread whose stack holds the interpreter's
    // bounds (script/native_stack.h).
    return kq::script::RunWithScriptStack([&] { return Main(argc, argv); });
}
