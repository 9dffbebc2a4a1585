#include "editor/model/ProjectFile.h"

#include "app/imaging/PixmillBinding.h"
#include "editor/model/MainUnit.h"
#include "platform/ReplacingFile.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/uio.h>
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

void showLoadError(const std::string& path, const ProjectLoadProblem& problem) {
    if (g_view) g_view->showLoadError(path, problem);
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

void writeElement(Writer& w, const Objekt& o) {
    w.i32(o.Kind);
    w.i32(o.DrawKind);
    w.text(o.Text);
    w.text(o.FontName);
    w.i32(o.DeleteAtEnd ? 1 : 0);
    w.state(o.Start);
    w.state(o.End);
    if (o.Kind == okPicture) writePicture(w, o.Picture);
}

// The whole file: `element(i)` gives element i of `count`.
template <typename ElementAt>
bool writeProject(ProjectSink& sink, const StageSettings& settings, int32_t count,
                  ElementAt element) {
    Writer w(sink);
    w.bytes(ProjectSignature, SignatureSize);
    w.i32(settings.width());
    w.i32(settings.height());
    w.i32(settings.framesPerSecond());
    w.i32(settings.backgroundColor());
    w.i32(count);
    for (int32_t i = 0; i < count && w.ok(); ++i)
        writeElement(w, element(i));
    const uint8_t repeat = settings.repeat() ? 1 : 0;
    w.bytes(&repeat, 1);
    return w.ok();
}

bool writeProject(ProjectSink& sink) {
    return writeProject(sink, Stage, ObjektList.Count, [](int32_t i) -> const Objekt& {
        ObjektList.Select(i);
        return *CurObjekt;
    });
}

class VectorSink final : public ProjectSink {
public:
    explicit VectorSink(std::vector<uint8_t>& out) : m_out(out) {}
    bool write(const void* data, size_t size) override {
        const auto* p = static_cast<const uint8_t*>(data);
        m_out.insert(m_out.end(), p, p + size);
        return true;
    }

private:
    std::vector<uint8_t>& m_out;
};

// ---------------------------------------------------------------- reading

std::function<void()> g_loadHook;

std::string describeErrno(int error) {
    return std::strerror(error);
}

// Where the reader takes the file's bytes from, front to back. Every read is
// checked by the parser against size() first; a read that still fails (the
// file shrank under the reader, or the disk failed) sets failure().
class ByteSource {
public:
    explicit ByteSource(uint64_t size) : m_size(size) {}
    virtual ~ByteSource() = default;
    uint64_t size() const { return m_size; }
    uint64_t pos() const { return m_pos; }
    uint64_t left() const { return m_size - m_pos; }
    const std::string& failure() const { return m_failure; }

    // The next `n` bytes (n <= left()) into `dst`.
    bool read(void* dst, size_t n) {
        if (!fetch(static_cast<uint8_t*>(dst), n)) return false;
        m_pos += n;
        return true;
    }
    // `rows` rows of `rowBytes` stored one after the other, into memory rows
    // `stride` bytes apart.
    bool readRows(uint8_t* dst, size_t rowBytes, size_t stride, size_t rows) {
        if (!fetchRows(dst, rowBytes, stride, rows)) return false;
        m_pos += rowBytes * rows;
        return true;
    }
    void skip(uint64_t n) { m_pos += n; }

protected:
    // Both read at pos() without moving it.
    virtual bool fetch(uint8_t* dst, size_t n) = 0;
    virtual bool fetchRows(uint8_t* dst, size_t rowBytes, size_t stride, size_t rows) {
        for (size_t y = 0; y < rows; ++y) {
            if (!fetch(dst + y * stride, rowBytes)) return false;
            m_pos += rowBytes;
        }
        m_pos -= rowBytes * rows;
        return true;
    }

    uint64_t m_size;
    uint64_t m_pos = 0;
    std::string m_failure;
};

class MemorySource final : public ByteSource {
public:
    MemorySource(const uint8_t* data, size_t size) : ByteSource(size), m_data(data) {}

private:
    bool fetch(uint8_t* dst, size_t n) override {
        if (n) std::memcpy(dst, m_data + m_pos, n);
        return true;
    }
    const uint8_t* m_data;
};

// An open regular file, read with pread: small fields through a buffer, pixel
// rows straight into the pictures. A file that another program truncates
// while it is read ends the reads early (a memory map would fault instead).
class FileSource final : public ByteSource {
public:
    FileSource() : ByteSource(0) {}
    ~FileSource() override {
        if (m_fd >= 0) close(m_fd);
    }
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    // Opens `path` without blocking on a named pipe or a device, and refuses
    // anything but a regular file before reading a byte.
    bool open(const std::string& path, std::string& why) {
        m_fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (m_fd < 0) {
            why = "cannot open the file: " + describeErrno(errno);
            return false;
        }
        struct stat st;
        if (fstat(m_fd, &st) != 0) {
            why = "cannot read the file's status: " + describeErrno(errno);
            return false;
        }
        if (!S_ISREG(st.st_mode)) {
            why = S_ISDIR(st.st_mode)    ? "it is a folder, not a file"
                  : S_ISFIFO(st.st_mode) ? "it is a named pipe, not a regular file"
                  : S_ISSOCK(st.st_mode) ? "it is a socket, not a regular file"
                                         : "it is a device, not a regular file";
            return false;
        }
        const int flags = fcntl(m_fd, F_GETFL);
        if (flags < 0 || fcntl(m_fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
            why = "cannot read the file: " + describeErrno(errno);
            return false;
        }
        m_size = static_cast<uint64_t>(st.st_size);
        return true;
    }

private:
    static constexpr size_t BufferSize = 64 * 1024;

    // Reads [at, at + n) straight into dst.
    bool direct(uint8_t* dst, uint64_t at, size_t n) {
        while (n > 0) {
            const ssize_t got = pread(m_fd, dst, n, static_cast<off_t>(at));
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) return failed(at, got < 0 ? errno : 0);
            dst += got;
            at += static_cast<uint64_t>(got);
            n -= static_cast<size_t>(got);
        }
        return true;
    }

    bool failed(uint64_t at, int error) {
        m_failure = error ? "read error at byte " + std::to_string(at) + ": " + describeErrno(error)
                          : "the file ends at byte " + std::to_string(at) + " while it held " +
                                std::to_string(m_size) +
                                " bytes when it was opened (another program changed it)";
        return false;
    }

    bool fetch(uint8_t* dst, size_t n) override {
        uint64_t at = m_pos;
        // What the buffer already holds.
        if (at >= m_bufStart && at < m_bufStart + m_buf.size()) {
            const size_t k = std::min<uint64_t>(n, m_bufStart + m_buf.size() - at);
            std::memcpy(dst, m_buf.data() + (at - m_bufStart), k);
            dst += k;
            at += k;
            n -= k;
        }
        if (n == 0) return true;
        if (n >= BufferSize / 2) return direct(dst, at, n);
        // Refill; a short fill only matters if it leaves less than is needed.
        m_buf.resize(static_cast<size_t>(std::min<uint64_t>(BufferSize, m_size - at)));
        m_bufStart = at;
        size_t have = 0;
        while (have < m_buf.size()) {
            const ssize_t got = pread(m_fd, m_buf.data() + have, m_buf.size() - have,
                                      static_cast<off_t>(at + have));
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) {
                m_buf.clear();
                return failed(at + have, errno);
            }
            if (got == 0) break;
            have += static_cast<size_t>(got);
        }
        m_buf.resize(have);
        if (have < n) return failed(at + have, 0);
        std::memcpy(dst, m_buf.data(), n);
        return true;
    }

    bool fetchRows(uint8_t* dst, size_t rowBytes, size_t stride, size_t rows) override {
        if (stride == rowBytes) return fetch(dst, rowBytes * rows);
        // Rows in the buffer first, then up to IOV_MAX rows per system call.
        size_t y = 0;
        uint64_t at = m_pos;
        for (; y < rows && at < m_bufStart + m_buf.size(); ++y, at += rowBytes) {
            const uint64_t saved = m_pos;
            m_pos = at;
            const bool ok = fetch(dst + y * stride, rowBytes);
            m_pos = saved;
            if (!ok) return false;
        }
        std::vector<iovec> iov;
        while (y < rows) {
            const size_t batch = std::min<size_t>(rows - y, IOV_MAX);
            iov.resize(batch);
            for (size_t i = 0; i < batch; ++i)
                iov[i] = {dst + (y + i) * stride, rowBytes};
            ssize_t got;
            do {
                got = preadv(m_fd, iov.data(), static_cast<int>(batch), static_cast<off_t>(at));
            } while (got < 0 && errno == EINTR);
            if (got < 0) return failed(at, errno);
            const size_t whole = static_cast<size_t>(got) / rowBytes;
            if (whole < batch) {
                // A short read: finish the row it stopped in; the next read
                // then tells end of file from a transient short read.
                const size_t done = static_cast<size_t>(got) % rowBytes;
                if (!direct(dst + (y + whole) * stride + done, at + whole * rowBytes + done,
                            rowBytes - done))
                    return false;
                y += whole + 1;
                at += (whole + 1) * rowBytes;
                continue;
            }
            y += batch;
            at += batch * rowBytes;
        }
        return true;
    }

    int m_fd = -1;
    std::vector<uint8_t> m_buf;
    uint64_t m_bufStart = 0;
};

struct ParsedElement {
    int32_t kind = 0, drawKind = 0;
    std::string text, fontName;
    bool deleteAtEnd = false;
    ObjektState start{}, end{};
    // Created while reading; null without one. Held apart from the element,
    // so that a file of many small elements costs little while it is checked.
    std::unique_ptr<DibRecord> picture;
};

struct ParsedProject {
    uint32_t width = 0, height = 0, fps = 0;
    int32_t background = 0;
    std::vector<ParsedElement> elements;
    bool hasRepeat = false;
    bool repeat = false;

    ParsedProject() = default;
    ParsedProject(const ParsedProject&) = delete;
    ParsedProject& operator=(const ParsedProject&) = delete;
    // Pictures not handed over to the project are released.
    ~ParsedProject() {
        for (ParsedElement& e : elements)
            if (e.picture && e.picture->InfoBlock && Pixmill.deldib)
                Pixmill.deldib(e.picture.get());
    }
};

// Creates a blank 24-bit picture of w x h pixels; rows are filled by the reader.
bool makePicture(DibRecord& pic, int32_t w, int32_t h) {
    std::memset(&pic, 0, sizeof pic);
    if (!Pixmill.newdib || !Pixmill.newdib(&pic, w, h, 24, nullptr, 0) || !pic.InfoBlock ||
        !pic.Bits || pic.Info->biWidth != w || pic.Info->biHeight != h || pic.BytesPerRow < w * 3) {
        if (Pixmill.deldib) Pixmill.deldib(&pic);
        std::memset(&pic, 0, sizeof pic);
        return false;
    }
    // Large pictures are filled at once: ask for huge pages, which saves most
    // of the page faults of touching fresh memory (a hint; ignored elsewhere).
    const size_t total = static_cast<size_t>(pic.BytesPerRow) * static_cast<size_t>(h);
    if (total >= (size_t(4) << 20)) {
        const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
        const uintptr_t from = (reinterpret_cast<uintptr_t>(pic.Bits) + page - 1) & ~(page - 1);
        const uintptr_t to = (reinterpret_cast<uintptr_t>(pic.Bits) + total) & ~(page - 1);
        if (to > from) madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
    }
    return true;
}

// The smallest element block: kind, draw kind, two one-byte strings with their
// lengths, the delete flag and two key states.
constexpr size_t MinElementBlock = 4 + 4 + 5 + 5 + 4 + 36 + 36;

// Reads a project front to back, checking every length and count against
// what the file can still hold; the first problem stops it, with its reason.
class Parser {
public:
    Parser(ByteSource& src, ProjectLoadProblem& problem, bool makePictures)
        : m_src(src), m_problem(problem), m_makePictures(makePictures) {}

    bool parse(ParsedProject& out) {
        uint8_t sig[SignatureSize];
        if (!bytes("identification text", sig, SignatureSize)) return false;
        if (std::memcmp(sig, ProjectSignature, SignatureSize) != 0)
            return fail(0, std::string("identification text at byte 0 is not \"") +
                               ProjectSignature + "\"");
        uint32_t count;
        if (!u32("stage width", out.width) || !u32("stage height", out.height) ||
            !u32("frames per second", out.fps) || !i32("background colour", out.background) ||
            !u32("element count", count))
            return false;
        if (count > m_src.left() / MinElementBlock)
            return fail(m_src.pos() - 4, "element count " + std::to_string(count) + " at byte " +
                                             std::to_string(m_src.pos() - 4) +
                                             " is more than the rest of the file can hold (" +
                                             std::to_string(m_src.left() / MinElementBlock) +
                                             " at most)");
        // The element list is one block whose size in bytes is a 32-bit
        // number, less a step of items kept spare.
        constexpr uint32_t listLimit =
            static_cast<uint32_t>(INT32_MAX / sizeof(Objekt) / 100 * 100 - 100);
        if (count > listLimit)
            return fail(m_src.pos() - 4, "element count " + std::to_string(count) + " at byte " +
                                             std::to_string(m_src.pos() - 4) +
                                             " is more than the " + std::to_string(listLimit) +
                                             " elements a project can hold");
        out.elements.reserve(count);
        for (uint32_t i = 0; i < count; ++i) {
            m_element = "element " + std::to_string(i + 1) + ": ";
            out.elements.emplace_back();
            ParsedElement& e = out.elements.back();
            int32_t flag;
            if (!i32("kind", e.kind) || !i32("drawing kind", e.drawKind) || !text("text", e.text) ||
                !text("font name", e.fontName) || !i32("delete flag", flag) ||
                !state("start state", e.start) || !state("end state", e.end))
                return false;
            e.deleteAtEnd = flag != 0;
            if (e.kind == okPicture && !picture(e.picture)) return false;
        }
        m_element.clear();
        // A file may end before the repeat byte; that keeps the setting.
        uint8_t repeat;
        if (m_src.left() > 0) {
            if (!bytes("repeat flag", &repeat, 1)) return false;
            out.hasRepeat = true;
            out.repeat = repeat != 0;
        }
        return true;
    }

private:
    bool fail(uint64_t at, const std::string& reason) {
        m_problem.offset = static_cast<int64_t>(at);
        m_problem.reason = m_element + reason;
        return false;
    }
    std::string pastEnd(const std::string& what, uint64_t at) const {
        return what + " at byte " + std::to_string(at) + " runs past the end of the file (" +
               std::to_string(m_src.size()) + " bytes)";
    }
    bool bytes(const char* what, void* dst, size_t n) {
        const uint64_t at = m_src.pos();
        if (m_src.left() < n) return fail(at, pastEnd(what, at));
        if (!m_src.read(dst, n)) return fail(at, std::string(what) + ": " + m_src.failure());
        return true;
    }
    bool u32(const char* what, uint32_t& v) {
        uint8_t b[4];
        if (!bytes(what, b, 4)) return false;
        v = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
        return true;
    }
    bool i32(const char* what, int32_t& v) {
        uint32_t u;
        if (!u32(what, u)) return false;
        v = static_cast<int32_t>(u);
        return true;
    }
    bool state(const char* what, ObjektState& s) {
        return i32(what, s.Left) && i32(what, s.Top) && i32(what, s.Right) && i32(what, s.Bottom) &&
               i32(what, s.FontSize) && i32(what, s.Rotation) && i32(what, s.Time) &&
               i32(what, s.Transparency) && i32(what, s.Color);
    }
    // A stored string: length with the zero byte, the bytes, ending in zero.
    bool text(const char* what, std::string& s) {
        const uint64_t at = m_src.pos();
        uint32_t n;
        if (!u32((std::string(what) + " length").c_str(), n)) return false;
        const std::string field = std::string(what) + " length " + std::to_string(n);
        if (n == 0)
            return fail(at, field + " at byte " + std::to_string(at) +
                                " leaves no room for the zero byte");
        if (m_src.left() < n) return fail(at, pastEnd(field, at));
        s.resize(n);
        if (!bytes(what, s.data(), n)) return false;
        if (s.back() != 0)
            return fail(at + 4, std::string(what) + " of " + std::to_string(n) + " bytes at byte " +
                                    std::to_string(at + 4) + " does not end in a zero byte");
        s.resize(std::strlen(s.c_str()));
        return true;
    }
    bool picture(std::unique_ptr<DibRecord>& out) {
        const uint64_t at = m_src.pos();
        int32_t w, h;
        if (!i32("picture width", w) || !i32("picture height", h)) return false;
        const std::string size = "picture size " + std::to_string(w) + " x " + std::to_string(h) +
                                 " at byte " + std::to_string(at);
        if (w < 0 || h < 0) return fail(at, size + " is negative");
        // A picture element without a picture has no pixel rows.
        if (w == 0 && h == 0) return true;
        if (w == 0 || h == 0) return fail(at, size + " has one side zero");
        if (w > PIXMILL_MAX_SIDE || h > PIXMILL_MAX_SIDE)
            return fail(at, size + " is beyond the image library's " +
                                std::to_string(PIXMILL_MAX_SIDE) + " pixels a side");
        const size_t rowBytes = static_cast<size_t>(w) * 3;
        const uint64_t total = uint64_t(rowBytes) * uint64_t(h);
        if (total > PIXMILL_MAX_PIXEL_BYTES)
            return fail(at, size + " needs more than the image library's " +
                                std::to_string(PIXMILL_MAX_PIXEL_BYTES >> 20) + " MB of pixels");
        const uint64_t rowsAt = m_src.pos();
        if (m_src.left() < total)
            return fail(rowsAt,
                        pastEnd("pixel data of " + std::to_string(total) + " bytes", rowsAt));
        if (!m_makePictures) {
            m_src.skip(total);
            return true;
        }
        out = std::make_unique<DibRecord>();
        DibRecord& pic = *out;
        if (!makePicture(pic, w, h)) return fail(at, size + ": the image library cannot make it");
        if (!m_src.readRows(pic.Bits, rowBytes, static_cast<size_t>(pic.BytesPerRow),
                            static_cast<size_t>(h)))
            return fail(rowsAt, "pixel rows: " + m_src.failure());
        return true;
    }

    ByteSource& m_src;
    ProjectLoadProblem& m_problem;
    bool m_makePictures;
    std::string m_element; // "element N: " while an element block is read
};

// Parses everything first and only then replaces the open project, so a
// refused file leaves it untouched.
bool load(ByteSource& src, const std::string& path, ProjectLoadProblem& problem) {
    ParsedProject parsed;
    if (!Parser(src, problem, true).parse(parsed)) {
        showLoadError(path, problem);
        return false;
    }
    ClearObjekts();
    Stage.setWidth(parsed.width);
    Stage.setHeight(parsed.height);
    Stage.setFramesPerSecond(parsed.fps);
    Stage.setBackgroundColor(parsed.background);
    // One block for all elements: adding them one by one would copy the
    // block every hundred elements.
    ObjektList.Reserve(static_cast<int32_t>(parsed.elements.size()));
    for (ParsedElement& e : parsed.elements) {
        auto* o = static_cast<Objekt*>(ObjektList.Add());
        o->Kind = e.kind;
        o->DrawKind = e.drawKind;
        o->Text = DupString(e.text);
        o->FontName = DupString(e.fontName);
        o->DeleteAtEnd = e.deleteAtEnd ? 1 : 0;
        o->Start = e.start;
        o->End = e.end;
        if (e.picture) {
            o->Picture = *e.picture;
            e.picture.reset();
        }
    }
    if (parsed.hasRepeat) Stage.setRepeat(parsed.repeat);
    ProjectFileName = path;
    if (g_view) {
        g_view->projectFileNameChanged();
        g_view->projectLoaded();
    }
    return true;
}

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
    ok = ok && out.commit();
    if (!ok) {
        showError(ProjectCreateErrorText);
        return false;
    }
    ProjectFileName = path;
    if (g_view) g_view->projectFileNameChanged();
    return true;
}

void SetProjectLoadHook(std::function<void()> hook) {
    g_loadHook = std::move(hook);
}

bool ValidateProjectBytes(const unsigned char* data, size_t size, ProjectLoadProblem* problem) {
    ProjectLoadProblem local;
    ProjectLoadProblem& p = problem ? *problem : local;
    p = {};
    MemorySource src(data, size);
    ParsedProject parsed;
    return Parser(src, p, false).parse(parsed);
}

bool LoadProject(const std::string& path, ProjectLoadProblem* problem) {
    ProjectLoadProblem local;
    ProjectLoadProblem& p = problem ? *problem : local;
    p = {};
    FileSource file;
    if (!file.open(path, p.reason)) {
        showLoadError(path, p);
        return false;
    }
    if (g_loadHook) g_loadHook();
    return load(file, path, p);
}

ProjectSnapshot::~ProjectSnapshot() {
    for (Objekt& o : elements)
        ReleaseObjekt(o);
}

std::unique_ptr<ProjectSnapshot> TakeProjectSnapshot() {
    auto snapshot = std::make_unique<ProjectSnapshot>();
    snapshot->settings = Stage;
    snapshot->elements.reserve(static_cast<size_t>(ObjektList.Count));
    for (int32_t i = 0; i < ObjektList.Count; ++i)
        snapshot->elements.push_back(
            CopyObjekt(*reinterpret_cast<const Objekt*>(ObjektList.Block + i * sizeof(Objekt))));
    return snapshot;
}

bool WriteProjectSnapshot(const ProjectSnapshot& snapshot, const std::string& path) {
    platform::ReplacingFile out(path);
    if (!out.file()) return false;
    FileSink sink(out.file());
    const bool ok =
        writeProject(sink, snapshot.settings, static_cast<int32_t>(snapshot.elements.size()),
                     [&](int32_t i) -> const Objekt& { return snapshot.elements[i]; });
    return ok && out.commit();
}

std::vector<uint8_t> EncodeProjectBytes(const ProjectSnapshot& snapshot) {
    std::vector<uint8_t> bytes;
    VectorSink sink(bytes);
    writeProject(sink, snapshot.settings, static_cast<int32_t>(snapshot.elements.size()),
                 [&](int32_t i) -> const Objekt& { return snapshot.elements[i]; });
    return bytes;
}

bool DecodeProjectBytes(const unsigned char* data, size_t size, ProjectSnapshot& out,
                        ProjectLoadProblem* problem) {
    ProjectLoadProblem local;
    ProjectLoadProblem& p = problem ? *problem : local;
    p = {};
    MemorySource src(data, size);
    ParsedProject parsed;
    if (!Parser(src, p, true).parse(parsed)) return false;
    out.settings = Stage;
    out.settings.setWidth(parsed.width);
    out.settings.setHeight(parsed.height);
    out.settings.setFramesPerSecond(parsed.fps);
    out.settings.setBackgroundColor(parsed.background);
    if (parsed.hasRepeat) out.settings.setRepeat(parsed.repeat);
    for (ParsedElement& e : parsed.elements) {
        Objekt o{};
        o.Kind = e.kind;
        o.DrawKind = e.drawKind;
        o.Text = DupString(e.text);
        o.FontName = DupString(e.fontName);
        o.DeleteAtEnd = e.deleteAtEnd ? 1 : 0;
        o.Start = e.start;
        o.End = e.end;
        if (e.picture) {
            o.Picture = *e.picture;
            e.picture.reset();
        }
        out.elements.push_back(o);
    }
    return true;
}

bool LoadProjectBytes(const unsigned char* data, size_t size, const std::string& path,
                      ProjectLoadProblem* problem) {
    ProjectLoadProblem local;
    ProjectLoadProblem& p = problem ? *problem : local;
    p = {};
    MemorySource src(data, size);
    return load(src, path, p);
}
