// quellan-skinview: prints a skin document's element tree, or renders an
// image description or rich text into a PNG, the way the framework would.
#include "platform/graphics/Graphics.h"
#include "platform/system/Text.h"
#include "ui/core/FormManagerUI.h"
#include "ui/markup/SkinXml.h"
#include "ui/render/Colour.h"
#include "ui/render/RenderEngine.h"
#include "tools/skinview/WindowMode.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage:\n"
                 "  quellan-skinview --dump DOC [--skin-dir DIR | --archive ZIP --password PW]\n"
                 "  quellan-skinview --image DESC --size WxH --png OUT [--skin-dir DIR] [--background ARGB]\n"
                 "  quellan-skinview --richtext TEXT --size WxH --png OUT [--font FACE,SIZE]\n"
                 "                   [--flags single,wordbreak,ellipsis,center,right,vcenter,bottom]\n"
                 "                   [--hover X,Y] [--background ARGB] [--skin-dir DIR]\n"
                 "  quellan-skinview --window DOC [--skin-dir DIR | --archive ZIP --password PW] [--size WxH]\n"
                 "                   [--scale S] [--png OUT] [--tree] [--act STEP]...\n"
                 "      --scale: device pixels per skin unit (1 to 3); --size and drag steps are in skin\n"
                 "      units, the tree's rectangles in device pixels\n"
                 "      steps: click:NAME dblclick:NAME hover:NAME type:TEXT wheel:NAME:+N|-N\n"
                 "             drag:NAME:DX,DY wait:MS select:TABLAYOUT|LIST|TREE|COMBO:INDEX\n"
                 "             "
                 "key:tab|shift+tab|return|escape|backspace|delete|left|right|up|down|home|end|pageup|pagedown|space|"
                 "ctrl+X|alt+X\n");
    return 2;
}

std::string utf8(const wchar_t* text) { return text ? platform::toUtf8(text) : std::string(); }

// Options are "--name value" pairs (or "--name" alone for the flags below,
// and repeatable "--act STEP"); the first one names the mode.
struct Options {
    std::string mode;
    std::map<std::string, std::string> values;
    std::vector<std::string> acts;
    bool has(const std::string& k) const { return values.count(k) != 0; }
    std::string get(const std::string& k) const {
        auto it = values.find(k);
        return it == values.end() ? std::string() : it->second;
    }
};

bool parseOptions(int argc, char** argv, Options& o) {
    static const char* kFlags[] = {"tree"};
    for (int i = 1; i < argc; ++i) {
        std::string key = argv[i];
        if (key.rfind("--", 0) != 0) return false;
        key = key.substr(2);
        bool flag = false;
        for (const char* f : kFlags) flag = flag || key == f;
        if (flag) {
            o.values[key] = "";
            continue;
        }
        if (i + 1 >= argc) return false;
        if (o.mode.empty()) o.mode = key;
        if (key == "act")
            o.acts.push_back(argv[++i]);
        else
            o.values[key] = argv[++i];
    }
    return !o.mode.empty();
}

bool parseSize(const std::string& text, int& w, int& h) {
    return std::sscanf(text.c_str(), "%dx%d", &w, &h) == 2 && w > 0 && h > 0 && w <= 16384 && h <= 16384;
}

// Keeps the archive bytes alive for the process, as the skin source requires.
std::vector<unsigned char> g_archive;

bool setUpSource(const Options& o) {
    if (o.has("archive")) {
        std::ifstream in(o.get("archive"), std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "cannot read %s\n", o.get("archive").c_str());
            return false;
        }
        g_archive.assign(std::istreambuf_iterator<char>(in), {});
        std::string password = o.get("password");
        CFormManagerUI::setSkinArchive(g_archive.data(), g_archive.size(), password.c_str());
    } else if (o.has("skin-dir")) {
        std::string dir = o.get("skin-dir");
        if (!dir.empty() && dir.back() != '/') dir += '/';
        CFormManagerUI::setResourcePath(platform::fromUtf8(dir));
    }
    return true;
}

void printTree(CSkinXmlNode node, int depth) {
    for (; node.isValid(); node = node.nextSibling()) {
        std::string line(depth * 2, ' ');
        line += utf8(node.name());
        for (int i = 0; i < node.attributeCount(); ++i)
            line += " " + utf8(node.attributeName(i)) + "=\"" + utf8(node.attributeValue(i)) + "\"";
        std::printf("%s\n", line.c_str());
        if (node.hasChildren()) printTree(node.firstChild(), depth + 1);
    }
}

int dump(const Options& o) {
    if (!setUpSource(o)) return 1;
    CSkinXml doc;
    if (!doc.loadFromFile(platform::fromUtf8(o.get("dump")).c_str())) {
        std::printf("error: %s\n", utf8(doc.lastError()).c_str());
        std::printf("at: %s\n", utf8(doc.lastErrorLocation()).c_str());
        return 1;
    }
    printTree(doc.root(), 0);
    return 0;
}

// Output paths are fixed before a --skin-dir changes the working folder.
std::string absoluteOut(const Options& o) { return fs::absolute(o.get("png")).string(); }

bool enterSkinDir(const Options& o) {
    if (!o.has("skin-dir")) return true;
    std::error_code ec;
    fs::current_path(o.get("skin-dir"), ec);
    if (ec) std::fprintf(stderr, "cannot enter %s\n", o.get("skin-dir").c_str());
    return !ec;
}

int image(const Options& o) {
    int w, h;
    if (!parseSize(o.get("size"), w, h) || !o.has("png")) return usage();
    std::string out = absoluteOut(o);
    if (!enterSkinDir(o)) return 1;
    platform::Surface surface(w, h);
    platform::Canvas canvas(surface);
    if (o.has("background"))
        render::fillColour(canvas, surface.bounds(), render::parseColour(platform::fromUtf8(o.get("background"))));
    CFormManagerUI manager;
    ImageDescription description;
    description.setDescription(platform::fromUtf8(o.get("image")));
    if (!render::drawImageDescription(&canvas, &manager, surface.bounds(), surface.bounds(), description)) {
        std::fprintf(stderr, "the image of this description cannot be loaded: %s\n",
                     platform::toUtf8(description.imageName.view()).c_str());
        return 1;
    }
    if (!surface.writePng(out)) {
        std::fprintf(stderr, "cannot write %s\n", out.c_str());
        return 1;
    }
    return 0;
}

unsigned parseFlags(const std::string& text) {
    static const std::map<std::string, unsigned> kFlags = {
        {"single", platform::DT_SINGLELINE},     {"wordbreak", platform::DT_WORDBREAK},
        {"ellipsis", platform::DT_END_ELLIPSIS}, {"center", platform::DT_CENTER},
        {"right", platform::DT_RIGHT},           {"vcenter", platform::DT_VCENTER},
        {"bottom", platform::DT_BOTTOM}};
    unsigned flags = 0;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t comma = text.find(',', start);
        std::string word = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        auto it = kFlags.find(word);
        if (it != kFlags.end())
            flags |= it->second;
        else if (!word.empty())
            std::fprintf(stderr, "unknown flag ignored: %s\n", word.c_str());
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return flags;
}

int richtext(const Options& o) {
    int w, h;
    if (!parseSize(o.get("size"), w, h) || !o.has("png")) return usage();
    std::string out = absoluteOut(o);
    if (!enterSkinDir(o)) return 1;
    platform::Surface surface(w, h);
    platform::Canvas canvas(surface);
    render::fillColour(canvas, surface.bounds(),
                       o.has("background") ? render::parseColour(platform::fromUtf8(o.get("background"))) : 0xFFFFFFFF);
    CFormManagerUI manager;
    int fontId = -1;
    if (o.has("font")) {
        std::string spec = o.get("font");
        std::size_t comma = spec.rfind(',');
        std::string face = comma == std::string::npos ? spec : spec.substr(0, comma);
        int size = comma == std::string::npos ? 12 : std::atoi(spec.c_str() + comma + 1);
        fontId = 1;
        manager.addFont(fontId, platform::fromUtf8(face), size, false, false, false, false, false);
    }
    unsigned flags = parseFlags(o.get("flags"));
    std::wstring text = platform::fromUtf8(o.get("richtext"));

    constexpr int kLinks = 32;
    platform::Rect links[kLinks] = {};
    CStringUI targets[kLinks];
    int count = kLinks;
    platform::Rect rect = surface.bounds();
    render::drawRichText(canvas, &manager, rect, text, 0xFF000000, links, targets, count, fontId, flags);
    if (o.has("hover")) {
        // Paint again with the mouse at the point, as the next paint would.
        int x = 0, y = 0;
        std::sscanf(o.get("hover").c_str(), "%d,%d", &x, &y);
        manager.setLastMousePosition({x, y});
        render::fillColour(canvas, surface.bounds(),
                           o.has("background") ? render::parseColour(platform::fromUtf8(o.get("background")))
                                               : 0xFFFFFFFF);
        rect = surface.bounds();
        count = kLinks;
        render::drawRichText(canvas, &manager, rect, text, 0xFF000000, links, targets, count, fontId, flags);
    }
    for (int i = 0; i < count; ++i)
        std::printf("link %d: %d,%d,%d,%d %s\n", i, links[i].left, links[i].top, links[i].right, links[i].bottom,
                    platform::toUtf8(targets[i].view()).c_str());
    if (!surface.writePng(out)) {
        std::fprintf(stderr, "cannot write %s\n", out.c_str());
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    Options o;
    if (!parseOptions(argc, argv, o)) return usage();
    if (o.mode == "dump") return dump(o);
    if (o.mode == "image") return image(o);
    if (o.mode == "richtext") return richtext(o);
    if (o.mode == "window") return setUpSource(o) ? skinview::runWindow(o.get("window"), o.values, o.acts) : 1;
    return usage();
}
