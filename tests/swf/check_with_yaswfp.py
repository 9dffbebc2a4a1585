#!/usr/bin/env python3
"""Independent reader check of the movies the SWF writer produces.

Runs the sample-movie generator into a fresh folder, then parses every
movie with yaswfp and compares what it decodes with the facts the generator
wrote beside each movie (name.expect.json): header, tag sequence, tag lengths
and decoded fields. Then runs the unit tests that write movies with
SWF_READER_CHECK_DIR set, so that they leave a copy of every movie they
write, and parses those too (header, tag sequence and lengths, frame count,
every tag decodable).

yaswfp has no decoder for three tags the writer uses (DefineFont,
DefineFontInfo, DefineMorphShape) and expects DefineBitsJPEG2 data to start
with a start-of-image marker, whereas the writer puts the empty encoding-table
segment (FF D9 FF D8) in front, as players expect. The parser below adds
decoders for those four, built from yaswfp's own structure readers; yaswfp's
length guard still checks that each decoder consumes exactly the tag's length.
"""

import io
import json
import os
import struct
import subprocess
import sys
import tempfile

from yaswfp import swfparser
from yaswfp.helpers import BitConsumer, unpack_ui8, unpack_ui16, unpack_ui32

TAG_CODES = {name: code for code, name in swfparser.TAG_NAMES.items()}


class MovieParser(swfparser.SWFParser):
    unknown_alert = True  # an undecodable tag is an error

    def _tag_end(self, start):
        return start + self._src.guard

    def _handle_tag_definefont(self):
        obj = swfparser._make_object("DefineFont")
        start = self._src.tell()
        end = self._tag_end(start)
        obj.FontID = unpack_ui16(self._src)
        table_start = self._src.tell()
        first = unpack_ui16(self._src)
        if first == 0 or first % 2:
            raise ValueError("bad first glyph offset %d" % first)
        obj.NumGlyphs = first // 2
        obj.OffsetTable = [first] + [unpack_ui16(self._src) for _ in range(obj.NumGlyphs - 1)]
        obj.GlyphShapeTable = []
        bounds = obj.OffsetTable + [end - table_start]
        for i in range(obj.NumGlyphs):
            if self._src.tell() != table_start + bounds[i]:
                raise ValueError("glyph %d does not start at its offset" % i)
            obj.GlyphShapeTable.append(self._get_struct_shape())
            if self._src.tell() != table_start + bounds[i + 1]:
                raise ValueError("glyph %d does not end at the next offset" % i)
        return obj

    def _handle_tag_definefontinfo(self):
        obj = swfparser._make_object("DefineFontInfo")
        start = self._src.tell()
        end = self._tag_end(start)
        obj.FontID = unpack_ui16(self._src)
        length = unpack_ui8(self._src)
        obj.FontName = self._src.read(length).decode("latin-1")
        bc = BitConsumer(self._src)
        obj.FontFlagsReserved = bc.u_get(2)
        obj.FontFlagsUnicode = bc.u_get(1)
        obj.FontFlagsShiftJIS = bc.u_get(1)
        obj.FontFlagsANSI = bc.u_get(1)
        obj.FontFlagsItalic = bc.u_get(1)
        obj.FontFlagsBold = bc.u_get(1)
        obj.FontFlagsWideCodes = bc.u_get(1)
        getter = unpack_ui16 if obj.FontFlagsWideCodes else unpack_ui8
        obj.CodeTable = []
        while self._src.tell() < end:
            obj.CodeTable.append(getter(self._src))
        return obj

    def _handle_tag_definemorphshape(self):
        obj = swfparser._make_object("DefineMorphShape")
        obj.CharacterId = unpack_ui16(self._src)
        obj.StartBounds = self._get_struct_rect()
        obj.EndBounds = self._get_struct_rect()
        obj.Offset = unpack_ui32(self._src)
        edges_at = self._src.tell() + obj.Offset
        obj.FillStyleCount = count = unpack_ui8(self._src)
        if count == 0xFF:
            count = unpack_ui16(self._src)
        obj.FillStyles = []
        for _ in range(count):
            style = swfparser._make_object("MorphFillStyle")
            style.FillStyleType = unpack_ui8(self._src)
            if style.FillStyleType != 0:
                raise ValueError("unexpected morph fill type %d" % style.FillStyleType)
            style.StartColor = self._get_struct_rgba()
            style.EndColor = self._get_struct_rgba()
            obj.FillStyles.append(style)
        obj.LineStyleCount = unpack_ui8(self._src)
        if obj.LineStyleCount != 0:
            raise ValueError("unexpected morph line styles")
        obj.StartEdges = self._get_struct_shape()
        if self._src.tell() != edges_at:
            raise ValueError("end edges do not start at the offset")
        obj.EndEdges = self._get_struct_shape()
        if obj.EndEdges.NumFillBits != 0 or obj.EndEdges.NumLineBits != 0:
            raise ValueError("end edges carry index widths")
        if len(obj.StartEdges.ShapeRecords) != len(obj.EndEdges.ShapeRecords):
            raise ValueError("start and end edges differ in count")
        for a, b in zip(obj.StartEdges.ShapeRecords, obj.EndEdges.ShapeRecords):
            if a.name != b.name:
                raise ValueError("start and end edges differ in kind")
        return obj

    def _handle_tag_definebitsjpeg2(self):
        obj = swfparser._make_object("DefineBitsJPEG2")
        start = self._src.tell()
        end = self._tag_end(start)
        obj.CharacterID = unpack_ui16(self._src)
        if self._src.read(4) != b"\xff\xd9\xff\xd8":
            raise ValueError("missing encoding-table segment")
        data = self._src.read(end - self._src.tell())
        if not data.endswith(b"\xff\xd9"):
            raise ValueError("missing end-of-image marker")
        obj.ImageData = data[:-2]
        obj.ImageSize = len(obj.ImageData)
        if not (obj.ImageData.startswith(b"\xff\xd8") and obj.ImageData.endswith(b"\xff\xd9")):
            raise ValueError("image is not a complete JPEG file")
        return obj


def raw_tags(data, header_size):
    """Walks the tag headers on its own: (code, length) up to the End tag."""
    pos = header_size
    tags = []
    while True:
        word, = struct.unpack_from("<H", data, pos)
        pos += 2
        code, length = word >> 6, word & 0x3F
        if length == 0x3F:
            length, = struct.unpack_from("<I", data, pos)
            pos += 4
        if code == 0:
            if length != 0:
                raise AssertionError("End tag with a body")
            return tags, pos
        tags.append((code, length))
        pos += length


def lookup(obj, path):
    for part in path.split("."):
        if isinstance(obj, (list, tuple)):
            obj = obj[int(part)]
        else:
            obj = getattr(obj, part)
    return obj


def same_value(decoded, expected):
    """yaswfp reads RECT and MATRIX fields unsigned: accept a negative value
    as its two's complement in some field width."""
    if isinstance(expected, list):
        return (isinstance(decoded, (list, tuple)) and len(decoded) == len(expected)
                and all(same_value(d, e) for d, e in zip(decoded, expected)))
    if decoded == expected:
        return True
    if isinstance(expected, int) and expected < 0 and isinstance(decoded, int) and decoded > 0:
        span = decoded - expected
        return span & (span - 1) == 0 and decoded >= span // 2
    return False


def check_movie(path, facts=None):
    errors = []
    with open(path, "rb") as f:
        data = f.read()
    parser = MovieParser(io.BytesIO(data))
    header = parser.header

    def expect(what, got, want):
        if not same_value(got, want):
            errors.append("%s: got %r, want %r" % (what, got, want))

    expect("signature", header.Signature, "FWS")
    expect("version", header.Version, 4)
    expect("file length", header.FileLength, len(data))
    header_size = 8 + (5 + 4 * (data[8] >> 3) + 7) // 8 + 4
    raw, end = raw_tags(data, header_size)
    expect("bytes after the End tag", len(data) - end, 0)
    expect("frame count against ShowFrames", header.FrameCount,
           min(sum(1 for c, _ in raw if c == 1), 0xFFFF))
    expect("decoded tag count", len(parser.tags), len(raw))
    for i, tag in enumerate(parser.tags):
        if type(tag).__name__ in ("FailingObject", "UnknownObject"):
            errors.append("tag %d (%s): yaswfp could not decode it" % (i, tag.name))
    if facts is None:
        return errors

    expect("frame", list(header.FrameSize), facts["frame"])
    expect("frame rate", header.FrameRate, facts["rate"] << 8)
    expect("frame count", header.FrameCount, facts["frames"])
    expect("tag codes", [c for c, _ in raw], [t["code"] for t in facts["tags"]])
    expect("ShowFrame count", sum(1 for c, _ in raw if c == 1), facts["frames"])

    for i, (tag, want) in enumerate(zip(parser.tags, facts["tags"])):
        label = "tag %d (%s)" % (i, tag.name)
        if type(tag).__name__ in ("FailingObject", "UnknownObject"):
            continue
        expect(label + " code", TAG_CODES.get(tag.name), want["code"])
        if tag.name == "DefineText2":
            want = dict(want)
            want_count = want.pop("TextRecordCount", None)
            if want_count is not None:
                expect(label + " records", len(tag.TextRecords), want_count)
        for key, value in want.items():
            if key == "code":
                continue
            try:
                got = lookup(tag, key)
            except (AttributeError, IndexError) as e:
                errors.append("%s.%s: missing (%s)" % (label, key, e))
                continue
            expect("%s.%s" % (label, key), got, value)
    return errors


def check_folder(folder, with_facts):
    movies = sorted(n[:-4] for n in os.listdir(folder) if n.endswith(".swf"))
    passed = failed = 0
    for name in movies:
        facts = None
        if with_facts:
            with open(os.path.join(folder, name + ".expect.json")) as f:
                facts = json.load(f)
        try:
            errors = check_movie(os.path.join(folder, name + ".swf"), facts)
        except Exception as e:  # a parse failure is a check failure
            errors = ["parse failed: %r" % e]
        if errors:
            failed += 1
            print("FAIL %s" % name)
            for e in errors:
                print("    " + e)
        else:
            passed += 1
            print("ok   %s" % name)
    return passed, failed


def main():
    if len(sys.argv) != 3:
        print("usage: check_with_yaswfp.py GENERATOR UNIT_TESTS", file=sys.stderr)
        return 2
    generator, unit_tests = sys.argv[1:]
    with tempfile.TemporaryDirectory(prefix="swf-yaswfp-") as folder:
        samples = os.path.join(folder, "samples")
        kept = os.path.join(folder, "kept")
        os.mkdir(kept)
        subprocess.run([generator, samples], check=True)
        env = dict(os.environ, SWF_READER_CHECK_DIR=kept)
        subprocess.run([unit_tests, "--gtest_filter=*FObjCollection*:*SampleMovieTest*", "--gtest_brief=1"],
                       check=True, env=env, stdout=subprocess.DEVNULL)
        passed, failed = check_folder(samples, True)
        if passed + failed == 0:
            print("the generator wrote no movies")
            return 1
        kept_passed, kept_failed = check_folder(kept, False)
        if kept_passed + kept_failed == 0:
            print("the unit tests left no movies")
            return 1
        passed += kept_passed
        failed += kept_failed
        print("%d passed, %d failed" % (passed, failed))
        return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
