#include "editor/ProjectFile.h"

#include "app/PixmillBinding.h"
#include "editor/MainUnit.h"
#include "platform/ReplacingFile.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

const char* const ProjectSignature = "Tarvelo Movi-Loomster 1.0";
const char* const ProjectOpenErrorText = "ファイルを開くことができませんでした.";
const char* const ProjectCreateErrorText = "エラー: ファイルを作成できません";

namespace {

constexpr size_t SignatureSize = 26; // the text and its zero byte

ProjectView* g_view = nullptr;
ProjectSinkFactory g_sinkFactory;

void showError(const char* text) {
    if (g_view) g_view->showError(text);
}

// ---------------------------------------------------------------- writing

class FileSink final : public ProjectSink {
public:
    explicit FileSink(std::FILE* f) : m_file(f) {}
    bool write(const void* data, size_t size) override {
        return size == 0 || std::fwrite(data, 1, size, m_file) == size;
    }

private:
    std::FILE* m_file;
};

class Writer {
public:
    explicit Writer(ProjectSink& sink) : m_sink(sink) {}
    void bytes(const void* p, size_t n) {
        if (m_ok) m_ok = m_sink.write(p, n);
    }
    void i32(int32_t v) {
        const uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
        bytes(b, 4);
    }
    void text(const char* s) {
        const size_t n = s ? std::strlen(s) : 0;
        i32(static_cast<int32_t>(n + 1));
        bytes(s ? s : "", n + 1);
    }
    void state(const ObjektState& s) {
        for (int32_t v : {s.Left, s.Top, s.Right, s.Bottom, s.FontSize, s.Rotation, s.Time,
                          s.Transparency, s.Color})
            i32(v);
    }
    bool ok() const { return m_ok; }

private:
    ProjectSink& m_sink;
    bool m_ok = true;
};

// Three bytes blue, green, red of pixel x in row y of a picture of any of the
// library's depths (the editor keeps 24 bits, so this is the rare path).
void paletteRow(const DibRecord& pic, int32_t y, int32_t width, std::vector<uint8_t>& out) {
    const auto* colours = reinterpret_cast<const PixmillRgbQuad*>(pic.Info + 1);
    const int bits = pic.Info->biBitCount;
    const uint8_t* row = pic.Bits + static_cast<int64_t>(y) * pic.BytesPerRow;
    out.resize(static_cast<size_t>(width) * 3);
    for (int32_t x = 0; x < width; ++x) {
        unsigned index = 0;
        if (bits == 1)
            index = (row[x / 8] >> (7 - x % 8)) & 1;
        else if (bits == 4)
            index = (x % 2 == 0) ? row[x / 2] >> 4 : row[x / 2] & 15;
        else
            index = row[x];
        const PixmillRgbQuad& c = colours[index & 255];
        out[3 * x] = c.rgbBlue;
        out[3 * x + 1] = c.rgbGreen;
        out[3 * x + 2] = c.rgbRed;
    }
}

void writePicture(Writer& w, const DibRecord& pic) {
    if (!pic.Info || !pic.Bits) {
        w.i32(0);
        w.i32(0);
        return;
    }
    const int32_t width = pic.Info->biWidth;
    const int32_t height = pic.Info->biHeight;
    w.i32(width);
    w.i32(height);
    std::vector<uint8_t> converted;
    for (int32_t y = 0; y < height && w.ok(); ++y) {
        if (pic.Info->biBitCount == 24) {
            w.bytes(pic.Bits + static_cast<int64_t>(y) * pic.BytesPerRow,
                    static_cast<size_t>(width) * 3);
        } else {
            paletteRow(pic, y, width, converted);
            w.bytes(converted.data(), converted.size());
        }
    }
}

bool writeProject(ProjectSink& sink) {
    Writer w(sink);
    w.bytes(ProjectSignature, SignatureSize);
    w.i32(Stage.width());
    w.i32(Stage.height());
    w.i32(Stage.framesPerSecond());
    w.i32(Stage.backgroundColor());
    w.i32(ObjektList.Count);
    for (int32_t i = 0; i < ObjektList.Count && w.ok(); ++i) {
        ObjektList.Select(i);
        const Objekt& o = *CurObjekt;
        w.i32(o.Kind);
        w.i32(o.DrawKind);
        w.text(o.Text);
        w.text(o.FontName);
        w.i32(o.DeleteAtEnd ? 1 : 0);
        w.state(o.Start);
        w.state(o.End);
        if (o.Kind == okPicture) writePicture(w, o.Picture);
    }
    const uint8_t repeat = Stage.repeat() ? 1 : 0;
    w.bytes(&repeat, 1);
    return w.ok();
}

// ---------------------------------------------------------------- reading

// A cursor over the file's bytes; every read is checked against the end.
class Reader {
public:
    Reader(const uint8_t* data, size_t size) : m_p(data), m_end(data + size) {}
    size_t left() const { return static_cast<size_t>(m_end - m_p); }
    bool u32(uint32_t& v) {
        if (left() < 4) return false;
        v = uint32_t(m_p[0]) | uint32_t(m_p[1]) << 8 | uint32_t(m_p[2]) << 16 |
            uint32_t(m_p[3]) << 24;
        m_p += 4;
        return true;
    }
    bool i32(int32_t& v) {
        uint32_t u;
        if (!u32(u)) return false;
        v = static_cast<int32_t>(u);
        return true;
    }
    bool take(size_t n, const uint8_t*& at) {
        if (left() < n) return false;
        at = m_p;
        m_p += n;
        return true;
    }
    // A stored string: length with the zero byte, the bytes, ending in zero.
    bool text(std::string_view& s) {
        uint32_t n;
        const uint8_t* at;
        if (!u32(n) || n == 0 || !take(n, at) || at[n - 1] != 0) return false;
        s = std::string_view(reinterpret_cast<const char*>(at),
                             std::strlen(reinterpret_cast<const char*>(at)));
        return true;
    }
    bool state(ObjektState& s) {
        return i32(s.Left) && i32(s.Top) && i32(s.Right) && i32(s.Bottom) && i32(s.FontSize) &&
               i32(s.Rotation) && i32(s.Time) && i32(s.Transparency) && i32(s.Color);
    }

private:
    const uint8_t* m_p;
    const uint8_t* m_end;
};

struct ParsedElement {
    int32_t kind = 0, drawKind = 0;
    std::string_view text, fontName;
    bool deleteAtEnd = false;
    ObjektState start{}, end{};
    int32_t picWidth = 0, picHeight = 0;
    const uint8_t* pixels = nullptr; // picWidth * 3 bytes per row, bottom row first
};

struct ParsedProject {
    uint32_t width = 0, height = 0, fps = 0;
    int32_t background = 0;
    std::vector<ParsedElement> elements;
    bool hasRepeat = false;
    bool repeat = false;
};

// The smallest element block: kind, draw kind, two one-byte strings with their
// lengths, the delete flag and two key states.
constexpr size_t MinElementBlock = 4 + 4 + 5 + 5 + 4 + 36 + 36;

bool parseProject(const uint8_t* data, size_t size, ParsedProject& out) {
    Reader r(data, size);
    const uint8_t* sig;
    if (!r.take(SignatureSize, sig) || std::memcmp(sig, ProjectSignature, SignatureSize) != 0)
        return false;
    uint32_t count;
    if (!r.u32(out.width) || !r.u32(out.height) || !r.u32(out.fps) || !r.i32(out.background) ||
        !r.u32(count))
        return false;
    if (count > r.left() / MinElementBlock) return false;
    out.elements.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        ParsedElement e;
        int32_t flag;
        if (!r.i32(e.kind) || !r.i32(e.drawKind) || !r.text(e.text) || !r.text(e.fontName) ||
            !r.i32(flag) || !r.state(e.start) || !r.state(e.end))
            return false;
        e.deleteAtEnd = flag != 0;
        if (e.kind == okPicture) {
            if (!r.i32(e.picWidth) || !r.i32(e.picHeight)) return false;
            if (e.picWidth < 0 || e.picHeight < 0) return false;
            if (e.picWidth == 0 || e.picHeight == 0) {
                // A picture element without a picture: no pixel rows.
                if (e.picWidth != e.picHeight) return false;
            } else {
                if (e.picWidth > PIXMILL_MAX_SIDE || e.picHeight > PIXMILL_MAX_SIDE) return false;
                const uint64_t rows = uint64_t(e.picWidth) * 3 * uint64_t(e.picHeight);
                if (rows > PIXMILL_MAX_PIXEL_BYTES || !r.take(rows, e.pixels)) return false;
            }
        }
        out.elements.push_back(e);
    }
    uint8_t repeat;
    const uint8_t* at;
    if (r.take(1, at)) {
        repeat = *at;
        out.hasRepeat = true;
        out.repeat = repeat != 0;
    }
    return true;
}

// Creates the 24-bit picture of a parsed element. False when the library
// cannot create it.
bool makePicture(const ParsedElement& e, DibRecord& pic) {
    std::memset(&pic, 0, sizeof pic);
    if (!e.pixels) return true;
    if (!Pixmill.newdib || !Pixmill.newdib(&pic, e.picWidth, e.picHeight, 24, nullptr, 0) ||
        !pic.InfoBlock || !pic.Bits || pic.Info->biWidth != e.picWidth ||
        pic.Info->biHeight != e.picHeight || pic.BytesPerRow < e.picWidth * 3) {
        if (Pixmill.deldib) Pixmill.deldib(&pic);
        return false;
    }
    const size_t rowBytes = static_cast<size_t>(e.picWidth) * 3;
    // Large pictures are filled at once: ask for huge pages, which saves most
    // of the page faults of touching fresh memory (a hint; ignored elsewhere).
    const size_t total = static_cast<size_t>(pic.BytesPerRow) * static_cast<size_t>(e.picHeight);
    if (total >= (size_t(4) << 20)) {
        const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
        const uintptr_t from = (reinterpret_cast<uintptr_t>(pic.Bits) + page - 1) & ~(page - 1);
        const uintptr_t to = (reinterpret_cast<uintptr_t>(pic.Bits) + total) & ~(page - 1);
        if (to > from) madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
    }
    for (int32_t y = 0; y < e.picHeight; ++y)
        std::memcpy(pic.Bits + static_cast<int64_t>(y) * pic.BytesPerRow, e.pixels + y * rowBytes,
                    rowBytes);
    return true;
}

// A project file mapped read-only: the reader checks it in place and the
// pixel rows are copied once, straight into the pictures.
class MappedFile {
public:
    explicit MappedFile(const std::string& path) {
        const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return;
        struct stat st;
        // Only a regular file has a size to trust (a folder opens too).
        if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
            m_size = static_cast<size_t>(st.st_size);
            if (m_size == 0) {
                m_ok = true;
            } else {
                void* p = mmap(nullptr, m_size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
                if (p != MAP_FAILED) {
                    m_data = static_cast<const uint8_t*>(p);
                    m_ok = true;
                }
            }
        }
        close(fd);
    }
    ~MappedFile() {
        if (m_data) munmap(const_cast<uint8_t*>(m_data), m_size);
    }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    bool ok() const { return m_ok; }
    const uint8_t* data() const { return m_data ? m_data : reinterpret_cast<const uint8_t*>(""); }
    size_t size() const { return m_size; }

private:
    const uint8_t* m_data = nullptr;
    size_t m_size = 0;
    bool m_ok = false;
};

} // namespace

void SetProjectView(ProjectView* view) {
    g_view = view;
}

void SetProjectSinkFactory(ProjectSinkFactory factory) {
    g_sinkFactory = std::move(factory);
}

bool SaveProject(const std::string& path) {
    // Write beside the target, then rename over it: the old file survives any failure.
    platform::ReplacingFile out(path);
    if (!out.file()) {
        showError(ProjectCreateErrorText);
        return false;
    }
    std::unique_ptr<ProjectSink> sink =
        g_sinkFactory ? g_sinkFactory(out.file()) : std::make_unique<FileSink>(out.file());
    bool ok = writeProject(*sink);
    sink.reset();
    ok = ok && out.commit(true);
    if (!ok) {
        showError(ProjectCreateErrorText);
        return false;
    }
    ProjectFileName = path;
    if (g_view) g_view->projectFileNameChanged();
    return true;
}

bool ValidateProjectBytes(const unsigned char* data, size_t size) {
    ParsedProject parsed;
    return parseProject(data, size, parsed);
}

bool LoadProject(const std::string& path) {
    const MappedFile file(path);
    if (!file.ok()) {
        showError(ProjectOpenErrorText);
        return false;
    }
    // A file that another program truncates while it is mapped would fault;
    // project files are our own documents, opened once and read at once.
    return LoadProjectBytes(file.data(), file.size(), path);
}

bool LoadProjectBytes(const unsigned char* data, size_t size, const std::string& path) {
    ParsedProject parsed;
    if (!parseProject(data, size, parsed)) {
        showError(ProjectOpenErrorText);
        return false;
    }
    // Create every picture before the open project is touched.
    std::vector<DibRecord> pictures(parsed.elements.size());
    for (size_t i = 0; i < parsed.elements.size(); ++i) {
        if (!makePicture(parsed.elements[i], pictures[i])) {
            for (size_t j = 0; j < i; ++j)
                if (Pixmill.deldib) Pixmill.deldib(&pictures[j]);
            showError(ProjectOpenErrorText);
            return false;
        }
    }
    ClearObjekts();
    Stage.setWidth(parsed.width);
    Stage.setHeight(parsed.height);
    Stage.setFramesPerSecond(parsed.fps);
    Stage.setBackgroundColor(parsed.background);
    for (size_t i = 0; i < parsed.elements.size(); ++i) {
        const ParsedElement& e = parsed.elements[i];
        auto* o = static_cast<Objekt*>(ObjektList.Add());
        o->Kind = e.kind;
        o->DrawKind = e.drawKind;
        o->Text = DupString(e.text);
        o->FontName = DupString(e.fontName);
        o->DeleteAtEnd = e.deleteAtEnd ? 1 : 0;
        o->Start = e.start;
        o->End = e.end;
        o->Picture = pictures[i];
    }
    if (parsed.hasRepeat) Stage.setRepeat(parsed.repeat);
    ProjectFileName = path;
    if (g_view) {
        g_view->projectFileNameChanged();
        g_view->projectLoaded();
    }
    return true;
}
