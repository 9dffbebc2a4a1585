#pragma once
// Pixmill: the raster image library. Reads picture files into device-
// independent bitmaps, creates and releases them, reads and writes pixels and
// writes JPEG files. Plain C interface so that it can be loaded by name.
//
// Pixel rows are bottom-up (row 0 is the bottom line of the picture and lies at
// `Bits`), each row padded to a multiple of 4 bytes; a 24-bit pixel is three
// bytes blue, green, red. Pictures of 1, 4 and 8 bits carry a colour table of
// 2^bits entries (blue, green, red, 0) right after the 40-byte header, inside a
// header block that always has room for 256 entries.
//
// Memory: the header block, the pixel block and the palette object are
// allocated with malloc(), so that a caller may release a record without the
// library (free the header block when it differs from the pixel block, then the
// pixel block, then the palette object when HasPalette is set).

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#pragma pack(push, 1)
typedef struct PixmillBitmapInfoHeader {
    uint32_t biSize; // 40
    int32_t biWidth;
    int32_t biHeight;       // always positive here: rows are bottom-up
    uint16_t biPlanes;      // 1
    uint16_t biBitCount;    // 1, 4, 8 or 24
    uint32_t biCompression; // 0: uncompressed
    uint32_t biSizeImage;   // BytesPerRow * height
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed; // colour entries in use (0 for 24 bits)
    uint32_t biClrImportant;
} PixmillBitmapInfoHeader;

typedef struct PixmillRgbQuad {
    uint8_t rgbBlue, rgbGreen, rgbRed, rgbReserved;
} PixmillRgbQuad;

typedef struct PixmillPaletteEntry {
    uint8_t peRed, peGreen, peBlue, peFlags;
} PixmillPaletteEntry;

typedef struct PixmillLogPalette {
    uint16_t palVersion; // 0x300
    uint16_t palNumEntries;
    PixmillPaletteEntry palPalEntry[256];
} PixmillLogPalette;
#pragma pack(pop)

// The picture record, held by value in every picture element. All zero is the
// empty record; a null `Bits` means "no picture".
typedef struct DibRecord {
    PixmillBitmapInfoHeader* Info; // header, then 256 colour entries
    void* InfoBlock;               // block holding the header
    void* BitsBlock;               // block holding the pixels (may equal InfoBlock)
    uint8_t* Bits;                 // pixel rows, bottom-up; null: no picture
    int32_t BytesPerRow;
    uint8_t HasPalette;        // non-zero: PaletteHandle is a palette object
    PixmillLogPalette Palette; // logical palette of pictures up to 8 bits
    void* PaletteHandle;       // malloc()ed copy of Palette when HasPalette is set
    uint8_t Reserved[28];
} DibRecord;

// Largest picture the library creates or reads: a side of 16384 pixels and
// 512 MiB of pixel rows.
#define PIXMILL_MAX_SIDE 16384
#define PIXMILL_MAX_PIXEL_BYTES (512u * 1024u * 1024u)

// Reads a picture file of any supported format (chosen by its contents, not its
// name). The caller clears rec->Bits first; non-null afterwards is success.
// `option` and `owner` are unused (0 and the owner window). Returns 1 on success.
int OpenDib(DibRecord* rec, const char* fileName, int option, void* owner);

// Releases a record and zero-fills it; an all-zero record is accepted.
int deldib(DibRecord* rec);

// Writes the picture as a baseline JPEG file. `option` is the quality on a
// scale of 1 to 10 (quality = option * 10 + 5, at most 100; 0 means 7), so the
// editor's 7 gives quality 75; a negative option counts as 0. Pictures of 1, 4
// and 8 bits are written through their colour table. The file is written next
// to `fileName`, synced and renamed over it once complete, keeping the
// permissions of the file it replaces (a new file gets the user's default), so
// a failed save leaves an existing file as it was and nothing beside it.
// Returns 1 when the file was written completely.
int SaveDib(DibRecord* rec, const char* fileName, int option, void* owner);

// The bytes SaveDib would write for the same picture and option, in a block
// of memory: *data (release it with FreeDibMemoryBlock) and *size. Returns 1
// on success; on failure *data is null and *size 0.
int SaveDibToMemory(DibRecord* rec, int option, unsigned char** data, unsigned long* size);
void FreeDibMemoryBlock(unsigned char* data);

// Makes a blank (zero-filled) picture of width x height at 1, 4, 8 or 24 bits.
// For up to 8 bits the first `colourCount` colour entries are copied from
// `colourSource` (a header followed by its colour entries) when it is given.
// A non-null rec->InfoBlock afterwards is success; returns 1 on success.
int newdib(DibRecord* rec, int width, int height, int bitsPerPixel,
           const PixmillBitmapInfoHeader* colourSource, int colourCount);

// Pixel (x, y), y counted from the bottom row. For pictures up to 8 bits the
// colour index (1 bit: 0 or 1); for 24 bits the colour value 0x00BBGGRR.
// Out of range: 0.
int getpixel(const DibRecord* rec, int x, int y);

// Sets pixel (x, y): a colour index for up to 8 bits, a colour value
// 0x00BBGGRR (red in the low byte) for 24 bits. Out of range: ignored.
void setpixel(DibRecord* rec, int x, int y, int value);

// The readers behind OpenDib, each a pure function from the file's bytes to a
// record (rec is overwritten; on failure it is left all zero and 0 returned).
int pixmill_read_any(const uint8_t* data, size_t size, DibRecord* rec);
int pixmill_read_bmp(const uint8_t* data, size_t size, DibRecord* rec);
int pixmill_read_gif(const uint8_t* data, size_t size, DibRecord* rec);
int pixmill_read_jpeg(const uint8_t* data, size_t size, DibRecord* rec);
int pixmill_read_png(const uint8_t* data, size_t size, DibRecord* rec);
int pixmill_read_tiff(const uint8_t* data, size_t size, DibRecord* rec);
int pixmill_read_tga(const uint8_t* data, size_t size, DibRecord* rec);
int pixmill_read_pcx(const uint8_t* data, size_t size, DibRecord* rec);
int pixmill_read_iff(const uint8_t* data, size_t size, DibRecord* rec);

#ifdef __cplusplus
}
#endif
