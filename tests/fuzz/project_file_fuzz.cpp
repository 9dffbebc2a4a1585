// Feeds arbitrary bytes to the project reader, pictures included. A file is
// either refused, with the same reason by the check and the loader, or loaded
// completely; nothing may be read or written outside the file's bytes or the
// pictures' memory.
#include "LinkedPixmill.h"
#include "editor/model/MainUnit.h"
#include "editor/model/ProjectFile.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    BindLinkedPixmill();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ProjectLoadProblem checked, refused;
    const bool valid = ValidateProjectBytes(data, size, &checked);
    const bool loaded = LoadProjectBytes(data, size, "fuzz.fmo", &refused);
    if (valid != loaded) __builtin_trap();
    // A refusal says why, the same way both times, at a place inside the file.
    if (!valid && (checked.reason.empty() || checked.reason != refused.reason ||
                   checked.offset != refused.offset || checked.offset < 0 ||
                   static_cast<uint64_t>(checked.offset) > size))
        __builtin_trap();
    if (loaded) {
        // Touch every loaded element and picture row.
        for (int32_t i = 0; i < ObjektList.Count; ++i) {
            ObjektList.Select(i);
            const DibRecord& pic = CurObjekt->Picture;
            if (pic.Bits)
                for (int32_t y = 0; y < pic.Info->biHeight; ++y)
                    (void)getpixel(&pic, pic.Info->biWidth - 1, y);
        }
    }
    ClearObjekts();
    return 0;
}
