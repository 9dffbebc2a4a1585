#!/usr/bin/env python3
"""Independent reader check of compiled movies.

Compiles the shipped example and the scene projects with the headless compile
command, then parses every movie with yaswfp (with the decoders the SWF
writer's own reader check adds for the tags yaswfp lacks): header, tag
lengths, frame count, every tag decodable, and the tag order the compiler
promises (background colour first, every frame ended by ShowFrame, each
definition before the placement that uses it).
"""

import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "swf"))
import check_with_yaswfp as reader  # noqa: E402

DEFINITIONS = {"DefineFont", "DefineFontInfo", "DefineText2", "DefineMorphShape", "DefineBitsJPEG2", "DefineShape"}


def check_order(path):
    import io
    errors = []
    with open(path, "rb") as f:
        parser = reader.MovieParser(io.BytesIO(f.read()))
    names = [t.name for t in parser.tags]
    if not names or names[0] != "SetBackgroundColor":
        errors.append("the first tag is not SetBackgroundColor")
    if names and names[-1] != "ShowFrame":
        errors.append("the last frame does not end with ShowFrame")
    defined = set()
    placed = set()
    for i, tag in enumerate(parser.tags):
        if tag.name in DEFINITIONS:
            for field in ("CharacterId", "CharacterID", "ShapeId"):
                if hasattr(tag, field):
                    defined.add(getattr(tag, field))
            if tag.name == "DefineFont":
                defined.add(tag.FontID)
        if tag.name == "PlaceObject2":
            if tag.PlaceFlagHasCharacter:
                if tag.CharacterId not in defined:
                    errors.append("tag %d places character %d before its definition" % (i, tag.CharacterId))
                placed.add(tag.Depth)
            elif tag.Depth not in placed:
                errors.append("tag %d moves depth %d that holds nothing" % (i, tag.Depth))
        if tag.name == "RemoveObject2" and tag.Depth not in placed:
            errors.append("tag %d removes depth %d that was never placed" % (i, tag.Depth))
    return errors


def main():
    if len(sys.argv) < 3:
        print("usage: check_compiled_with_yaswfp.py COMPILER PROJECT.fmo...", file=sys.stderr)
        return 2
    compiler, projects = sys.argv[1], sys.argv[2:]
    failed = 0
    with tempfile.TemporaryDirectory(prefix="compiled-yaswfp-") as folder:
        for project in projects:
            name = os.path.splitext(os.path.basename(project))[0]
            movie = os.path.join(folder, name + ".swf")
            subprocess.run([compiler, project, "-o", movie, "--no-html"], check=True, stdout=subprocess.DEVNULL)
            try:
                errors = reader.check_movie(movie) + check_order(movie)
            except Exception as e:  # a parse failure is a check failure
                errors = ["parse failed: %r" % e]
            if errors:
                failed += 1
                print("FAIL %s" % name)
                for e in errors:
                    print("    " + e)
            else:
                print("ok   %s" % name)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
