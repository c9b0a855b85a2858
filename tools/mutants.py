#!/usr/bin/env python3
"""Mutation testing: how many realistic single faults the test suite catches.

The committed tree is copied into a scratch folder, built once and tested
once unmutated; then each mutation below is applied to the copy alone, the
copy rebuilt and the suite run, and the file restored. The working tree is
never touched. Every test that fails is recorded, so that the report can tell
which tests kill mutants no other test kills.

Usage: tools/mutants.py [--list] [--only ID,ID] [-j N] [--report FILE]
"""

import argparse
import json
import os
import re
import resource
import shutil
import signal
import stat
import subprocess
import sys
import tarfile
import tempfile
import time
from datetime import datetime, timezone
from pathlib import Path

# Address space each test process may take.
MEMORY_CAP = 8 << 30

# (id, file, exact original snippet, replacement, description). Each snippet
# occurs exactly once in its file; one that no longer does is reported as
# "not applied", so that an edit of the code does not stop the run.
MUTATIONS = [
    # host: quaternions, Euler orders, keyed properties, settings, files
    ("quat-matrix-sign", "host/kvquat.cpp", "2.0 * (x * z - y * w)", "2.0 * (x * z + y * w)",
     "flipped sign in the rotation matrix the Euler decomposition reads"),
    ("quat-product-sign", "host/kvquat.cpp", "const double w = qw * q.qw - qx * q.qx",
     "const double w = qw * q.qw + qx * q.qx", "flipped sign in the quaternion product's w"),
    ("euler-half-angle", "host/kvquat.cpp", "const double half = -0.5 * component(anglesRad, axis);",
     "const double half = 0.5 * component(anglesRad, axis);", "Euler composition turns the textbook way round"),
    ("euler-odd-sign", "host/kvquat.cpp", "(j == (i + 1) % 3) ? 1.0 : -1.0", "(j == (i + 1) % 3) ? -1.0 : 1.0",
     "Euler decomposition: sign of odd and even orders swapped"),
    ("euler-tiny-angle", "host/kvquat.cpp", "if (cosB <= 1e-3 || std::abs(c) < 1e-8) {", "if (cosB <= 1e-3) {",
     "Euler decomposition: a last angle near zero from the closed form"),
    ("axis-angle-sign", "host/kvquat.cpp", "const double sign = qw < 0.0 ? -1.0 : 1.0;", "const double sign = 1.0;",
     "axis and angle of a negative-w quaternion not flipped"),
    ("angle-to-abs", "host/kvquat.cpp", "return 2.0 * std::atan2(sinHalf, std::abs(r.qw));",
     "return 2.0 * std::atan2(sinHalf, r.qw);", "angle between rotations forgets q and -q are one"),
    ("order-names-swapped", "host/kvrotationorder.cpp", '"YZX", "ZXY"', '"ZXY", "YZX"',
     "rotation orders YZX and ZXY swapped"),
    ("order-from-channels", "host/kvrotationorder.cpp",
     "name[0] - 'X' == third && name[1] - 'X' == second && name[2] - 'X' == first",
     "name[0] - 'X' == first && name[1] - 'X' == second && name[2] - 'X' == third",
     "channel line read forwards into a rotation order"),
    ("order-name-prefix", "host/kvrotationorder.cpp", "if (i == 3 && text[3] == '\\0')", "if (i == 3)",
     "an order name with trailing text accepted"),
    ("clamp-dropped", "host/kvproperty.cpp", "return clamped ? std::clamp(v, minLimit, maxLimit) : v;", "return v;",
     "clampValue ignores the limits"),
    ("key-same-time-appended", "host/kvproperty.cpp", "if (keys.empty() || keys.back().time < t) {",
     "if (keys.empty() || keys.back().time <= t) {", "a key at the last key's time is appended, not replaced"),
    ("interpolation-reversed", "host/kvproperty.cpp", "const double f = double(t - previous->time)",
     "const double f = double(next->time - t)", "interpolation weight taken from the wrong end"),
    ("lower-bound-fast-path", "host/kvproperty.cpp", "(i == 0 || keys[i - 1].time < t)",
     "(i == 0 || keys[i - 1].time <= t)", "key search's fast path: < for <="),
    ("remove-keys-end-open", "host/kvproperty.cpp", "last->time <= range.end", "last->time < range.end",
     "a key at a cleared range's end survives"),
    ("settings-unparsable", "host/kvappsettingsmgr.cpp", "|| !readsAsIni(iniFile)))",
     "|| (false && !readsAsIni(iniFile))))", "a settings file Qt half-parses is written over"),
    ("figure-save-commit", "host/kvfigurefile.cpp", "if (!kvWriteFile(path, text, &reason)) {",
     "if (!kvWriteFile(path, text, &reason) && false) {", "figure file: a failed write not reported"),
    ("device-replaced", "host/kvsavefile.cpp", "if (info.exists() && !info.isFile() && !info.isDir())",
     "if (false)", "a device written through a save-file (as root, replaced by a file)"),

    # import: motion keying, timing, matcher, reader, rest pose
    ("short-line-keys", "import/motion.cpp", "if (joint.columnCount > 0 && joint.firstColumn >= valueCount)",
     "if (false && joint.columnCount > 0 && joint.firstColumn >= valueCount)",
     "a short last frame line keys joints it has no values for"),
    ("continuity-skipped", "import/motion.cpp", "if (closer != value)", "if (false && closer != value)",
     "the root's angles are not kept within a turn of the previous key (nearestTurn)"),
    ("previous-key-zero", "import/motion.cpp", "time >= earliest; time -= step", "time > earliest; time -= step",
     "previousKeyValue skips a key at the first key's time"),
    ("turn-direction", "import/motion.cpp", "if (previous > v)\n        turn = 360.0f;",
     "if (previous > v)\n        turn = -360.0f;", "nearestTurn searches the wrong way when the previous value is higher"),
    ("position-z-from-x", "import/motion.cpp", "position.z = rawPosition.z;", "position.z = rawPosition.x;",
     "the root's Z position read from X"),
    ("height-offset-kept", "import/motion.cpp", "position.y = rawPosition.y - firstYPosition;",
     "position.y = rawPosition.y;", "the first frame's height not taken off"),
    ("stand-up-sign", "import/motion.cpp", "KvVec3(rawPosition.x, rawPosition.z, -rawPosition.y)",
     "KvVec3(rawPosition.x, rawPosition.z, rawPosition.y)", "Z-up positions stood up with a mirrored Z"),
    ("stand-up-turn", "import/motion.cpp", "axisRotation(0, -90.0f)", "axisRotation(0, 90.0f)",
     "Z-up root turned the wrong way"),
    ("channel-order-composed", "import/motion.cpp",
     "rotation = axisRotation(column.type - Xrotation, value) * rotation;",
     "rotation = rotation * axisRotation(column.type - Xrotation, value);",
     "rotation channels composed in the opposite order"),
    ("turns-freely-root", "import/motionplan.cpp", "joint.turnsFreely = bone && (!parent || !parent->inherits(\"KvBone\"));",
     "joint.turnsFreely = bone && !parent;", "the root under its skeleton node not kept continuous"),
    ("range-end-filled", "import/timing.cpp", "if (range.end / newStep < neededEndFrame) {",
     "if (range.end / newStep <= neededEndFrame) {", "a file exactly filling the range still resets the ranges"),
    ("frame-time-rounding", "import/timing.cpp", "std::floor(ticks + 0.5f)", "std::floor(ticks)",
     "a file's frame time truncated to ticks, not rounded"),
    ("in-place-default", "import/timing.cpp", "bool inPlaceOption = false;", "bool inPlaceOption = true;",
     "wrong default: in place"),
    ("cut-short-by-one", "import/timing.cpp", "|| framesApplied >= numFrames)\n        return;",
     "|| framesApplied + 1 >= numFrames)\n        return;", "a file one frame short of its count keeps a frozen frame"),
    ("in-place-keeps-z", "import/timing.cpp", "applyXPosition = applyZPosition = !inPlaceOption;",
     "applyXPosition = !inPlaceOption;\n    applyZPosition = true;", "in place keeps the Z travel"),
    ("matcher-takes-ancestors", "import/matcher.cpp", "return candidate && !bonesAbove.contains(candidate->bone);",
     "return candidate != nullptr;", "a joint may take the bone an ancestor holds"),
    ("matcher-no-release", "import/matcher.cpp", "        releaseBone(record->bone);\n", "",
     "a bone taken by a later joint stays with the earlier one too"),
    ("matcher-known-naming", "import/matcher.cpp", "if (known != bodyparts::NoPart) {",
     "if (false && known != bodyparts::NoPart) {", "known namings are not consulted"),
    ("crlf-split", "import/linereader.cpp", "if (next < size && data[next] == '\\n')\n                    ++next;\n",
     "", "CRLF line ends read as two line ends"),
    ("cr-at-block-end", "import/linereader.cpp", "if (next == size && !atEnd) {",
     "if (false && next == size && !atEnd) {", "a CRLF split across blocks gives an extra line"),
    ("bone-walk-order", "import/skeletonwalk.cpp",
     "for (int i = bone->getNumNodeChildren() - 1; i >= 0; --i)\n            pending.emplace_back",
     "for (int i = 0; i < bone->getNumNodeChildren(); ++i)\n            pending.emplace_back",
     "figure bones listed with children in reverse order"),
    ("facing-turn-sign", "import/restpose.cpp", "rightShoulder.z <= 0.0f ? quarterTurn : -quarterTurn",
     "rightShoulder.z <= 0.0f ? -quarterTurn : quarterTurn", "a figure facing sideways turned the wrong way"),
    ("facing-x-for-z", "import/restpose.cpp", "if (std::abs(rightShoulder.z) < std::abs(rightShoulder.x))",
     "if (std::abs(rightShoulder.x) < std::abs(rightShoulder.z))", "facing test reads X for Z"),
    ("aimed-turn-sign", "import/restpose.cpp", "fromAxisAngle(axis, -std::atan2(sine, cosine))",
     "fromAxisAngle(axis, std::atan2(sine, cosine))", "rest alignment turns about the aimed axis the wrong way"),
    ("best-turn-eigen", "import/restpose.cpp", "for (int i = 1; i < 4; ++i) {\n        if (n[i][i] > n[best][best])",
     "for (int i = 1; i < 3; ++i) {\n        if (n[i][i] > n[best][best])",
     "largest eigenvalue searched one row short"),

    # export: writers and options
    ("export-channel-order", "export/motionwriter.cpp", "const KvRotationOrder channelOrder(2);",
     "const KvRotationOrder channelOrder(4);", "angles decomposed in ZXY, not the channel line's YXZ"),
    ("export-x-for-z", "export/motionwriter.cpp", "appendGroup(out, deg.z, deg.x, deg.y);",
     "appendGroup(out, deg.x, deg.z, deg.y);", "X and Z angles swapped on motion lines"),
    ("sl-frame-count", "export/motionwriter.cpp", "secondLifeOption ? frameCount + 1 : frameCount",
     "frameCount", "Frames: leaves out Second Life's reference frame"),
    ("chunk-dropped", "export/motionwriter.cpp", "device->write(out);\n            out.resize(0);",
     "out.resize(0);", "every full 64 KiB chunk of motion lines dropped"),
    ("reference-nudge", "export/motionwriter.cpp", "appendGroup(out, deg.z, deg.x + angleNudgeDeg, deg.y);",
     "appendGroup(out, deg.z, deg.x, deg.y);", "reference frame's joints not nudged"),
    ("hierarchy-close-levels", "export/hierarchywriter.cpp", "while (previousLevel > record->level - 1) {",
     "while (previousLevel > record->level) {", "one brace too few after a leaf"),
    ("offset-reversed", "export/hierarchywriter.cpp", "v = node->getOrigin() - parent->getOrigin();",
     "v = parent->getOrigin() - node->getOrigin();", "joint offsets written pointing back at the parent"),
    ("negative-zero", "export/numbertext.cpp", "if (value < 0.0f)\n        *out++ = '-';",
     "if (value < 0.0f && micros != 0)\n        *out++ = '-';", "a negative value rounding to zero loses its sign"),
    ("device-write-error", "host/kvsavefile.cpp", "return flushed && file.error() == QFileDevice::NoError;",
     "return true;", "write errors on a device or pipe not reported"),
    ("save-file-flush", "host/kvsavefile.cpp",
     "if (!flushed)\n            saveFile->cancelWriting();\n        return saveFile->commit() && flushed;",
     "return saveFile->commit();", "a failing last flush still commits the file"),
    ("sl-default", "export/exportoptions.cpp", "bool secondLifeOption = false;", "bool secondLifeOption = true;",
     "wrong default: Second Life export"),
    ("untick-keeps-children", "export/expmapdialog.cpp",
     "        for (int i = 0; i < next->getNumNodeChildren(); ++i)\n            pending.push_back(next->getNodeChild(i));\n    }\n}\n\nvoid CExpMapDialog::enableToRoot",
     "    }\n}\n\nvoid CExpMapDialog::enableToRoot",
     "unticking a bone for export leaves its children ticked"),

    # dialogs: mapping dialog and stored maps
    ("overwrite-answer-ignored", "dialogs/storedmaps.cpp", "!= QMessageBox::Yes)", "!= QMessageBox::Yes && false)",
     "a stored map is overwritten whatever the answer"),
    ("delete-keeps-data", "dialogs/storedmaps.cpp",
     "settings->removeValue(name + mapDataSuffix);\n    if (kept.isEmpty())", "if (kept.isEmpty())",
     "deleting a map leaves its data behind"),
    ("cancel-keeps-pick", "dialogs/storedmaps.cpp", "current = kept;\n        return false;", "return false;",
     "a cancelled pick still changes the current map name"),
    ("map-last-bone-of-name", "dialogs/storedmaps.cpp",
     "bones.insert(record->name, bones.value(record->name, record));", "bones.insert(record->name, record);",
     "a stored map maps onto the last bone of a name, not the first"),
    ("dialog-frame-default", "dialogs/impmapdialog.cpp", "storedOption(bvhio::frameOptionKey, true)",
     "storedOption(bvhio::frameOptionKey, false)", "wrong default: keep the scene's timing"),
    ("dialog-stored-limits", "dialogs/impmapdialog.cpp", "limitsOption = limits;", "",
     "the import dialog shows the stored joint-limit option but does not use it"),
    ("import-list-depth", "dialogs/impmapdialog.cpp", "if (parent && parentDepth >= CImpMapDialog::listDepthLimit) {",
     "if (parent && parentDepth > CImpMapDialog::listDepthLimit) {", "import dialog lists joints one level too deep"),
    ("remap-keeps-old-joint", "dialogs/impmapdialog.cpp", "record->mappedNode = nullptr;\n", "",
     "a bone given to another joint stays mapped from the old one"),

    # app: the kvbvh command and its session layer
    ("convert-over-input", "app/convertcommand.cpp",
     "if (QFileInfo(job.output).canonicalFilePath() == QFileInfo(job.input).canonicalFilePath())",
     "if (false && QFileInfo(job.output).canonicalFilePath() == QFileInfo(job.input).canonicalFilePath())",
     "convert writes over its input"),
    ("jobs-failure-ignored", "app/convertcommand.cpp", "} else if (oldest.exitCode() != ExitSuccess) {",
     "} else if (false && oldest.exitCode() != ExitSuccess) {", "a failing conversion in a -j run exits 0"),
    ("jobs-drop-limits", "app/convertcommand.cpp", 'std::make_pair("--limits", import.limits)',
     'std::make_pair("--limits", false)', "-j runs drop --limits"),
    ("out-dir-collision", "app/convertcommand.cpp", "if (outputs.contains(path))",
     "if (false && outputs.contains(path))", "two inputs may write the same output"),
    ("convert-failure-ignored", "app/convertcommand.cpp",
     "if (convertOne(context, setup, job) != ExitSuccess)\n            exitCode = ExitFailure;",
     "convertOne(context, setup, job);", "a failing conversion of several exits 0"),
    ("jobs-drop-keep-origin", "app/commandsupport.cpp", "if (keepOrigin)\n        arguments",
     "if (false && keepOrigin)\n        arguments", "-j runs drop --keep-origin"),
    ("reference-pose-twice", "app/commandsupport.cpp",
     "if (secondLife && options.start.isEmpty() && source",
     "if (false && secondLife && options.start.isEmpty() && source",
     "a file's own reference pose written after the exporter's"),
    ("start-equals-end", "app/commandsupport.cpp", "if (start >= end) {", "if (start > end) {",
     "--start equal to --end accepted"),
    ("end-past-range", "app/commandsupport.cpp",
     "end = std::min<qint64>(end, range.start + qint64(timeInTicks(options.end, step)));",
     "end = range.start + qint64(timeInTicks(options.end, step));", "--end past the motion writes frozen frames"),
    ("origin-z-from-x", "app/commandsupport.cpp", "shiftKeys(root->getZPosControl(), -at.z);",
     "shiftKeys(root->getZPosControl(), -at.x);", "Second Life origin shift takes X for Z"),
    ("stdin-dash", "app/optionparser.cpp", 'argument == QLatin1String("-") || ', "",
     'a lone "-" taken for an option'),
    ("empty-option-value", "app/optionparser.cpp", "if (value.isEmpty())", "if (false && value.isEmpty())",
     "an empty option value accepted"),
    ("scene-even-late", "app/session/kvscenefile.cpp", "for (size_t i = 2; i < times.size(); ++i) {",
     "for (size_t i = 3; i < times.size(); ++i) {", "scene file's even-spacing check starts one key late"),
    ("scene-times-rise", "app/session/kvscenefile.cpp", "if (track.times[i] <= track.times[i - 1])",
     "if (track.times[i] < track.times[i - 1])", "scene file accepts two keys at one time"),
    ("scene-save-commit", "app/session/kvscenefile.cpp", "if (!kvWriteFile(path, text, &reason)) {",
     "if (!kvWriteFile(path, text, &reason) && false) {", "scene file: a failed write not reported"),
    ("scene-keys-clamped", "app/session/kvscenefile.cpp", "property->setIsClamped(false);\n", "",
     "scene keys beyond limits clamped on reading"),
    ("maps-reseeded", "app/session/kvmapstore.cpp", "if (seeded.contains(map.name))\n            continue;\n", "",
     "a deleted shipped map comes back"),
    ("sl-finger-segments", "app/session/kvsecondlife.cpp", "segment.at(0) <= QLatin1Char('3')",
     "segment.at(0) <= QLatin1Char('2')", "third finger segments lose their Second Life names"),
    ("sl-duration-limit", "app/session/kvsecondlife.cpp", "if (duration > maxDurationSeconds) {",
     "if (duration >= maxDurationSeconds) {", "a motion of exactly the longest length warned about"),
    ("maps-export-commit", "app/mapscommand.cpp", "if (!kvWriteFile(path, text, &reason))",
     "if (!kvWriteFile(path, text, &reason) && false)", "maps export: a failed write not reported"),
    # reading, name patterns, plug-in loading, scene, figure files, painting
    ("reader-offset-y-for-z", "import/bvhreader.cpp", "finiteFloat(token(i + 2)),\n                                          finiteFloat(token(i + 3))",
     "finiteFloat(token(i + 3)),\n                                          finiteFloat(token(i + 2))", "OFFSET's Y and Z read swapped"),
    ("reader-last-channel", "import/bvhreader.cpp", "std::min(count, tokenCount - (i + 2))",
     "std::min(count - 1, tokenCount - (i + 2))", "a joint's last channel dropped"),
    ("reader-rest-relative", "import/bvhreader.cpp", "record->restPosition = record->parent->restPosition + record->offset;",
     "record->restPosition = record->offset;", "rest positions taken relative to the parent, not the root"),
    ("reader-name-first-word", "import/bvhreader.cpp",
     "while (index + 1 < tokens.size() && !tokens.at(index + 1).isEmpty()) {",
     "if (index + 1 < tokens.size() && !tokens.at(index + 1).isEmpty()) {", "a joint name of several words cut to one"),
    ("reader-negative-frames", "import/bvhreader.cpp", "hasFrameCount = usable && numFrames >= 0;",
     "hasFrameCount = usable;", "a negative Frames count believed"),
    ("pattern-whole-word-text", "import/namepattern.cpp", "literal = mode == Anywhere && isAscii(wildcard)",
     "literal = isAscii(wildcard)", "whole-word patterns matched anywhere"),
    ("pattern-case", "import/namepattern.cpp", "text.contains(source, Qt::CaseInsensitive)",
     "text.contains(source, Qt::CaseSensitive)", "plain name patterns match case-sensitively"),
    ("pattern-question-any", "import/namepattern.cpp", "rx += QLatin1Char('.');", "rx += QLatin1String(\".*\");",
     "'?' matches any run of characters"),
    ("plugin-version-unchecked", "host/kvpluginloader.cpp", "if (reported != kvSDKVersion) {", "if (false) {",
     "a plug-in built for another SDK version loaded"),
    ("importer-factory-null", "plugin/bvhfactories.cpp", "return new (std::nothrow) CBvhIn;", "return nullptr;",
     "the importer factory makes no importer"),
    ("scene-select-adds", "host/kvscene.cpp", "if (!addToSelection)", "if (!addToSelection && false)",
     "selecting a node keeps the old selection"),
    ("node-filter-ignored", "host/kvnodedlg.cpp", "const bool choosable = classFilter.isEmpty() ||",
     "const bool choosable = true ||", "the node chooser offers nodes of any class"),
    ("figure-limits-reversed", "host/kvfigurefile.cpp", "if (los[axis] > his[axis]) {", "if (false) {",
     "figure file: limits with min above max accepted"),
    ("figure-parent-lost", "host/kvfigurefile.cpp", "if (!bone.parent.isEmpty()) {\n            out +=",
     "if (false) {\n            out +=", "figure file: bones written without their parent"),
    ("painter-upside-down", "studio/figurepainter.cpp", "center.y() - v.y * s", "center.y() + v.y * s",
     "the figure drawn upside down"),
]


class Interrupted(Exception):
    pass


def on_signal(signum, _frame):
    raise Interrupted(f"signal {signum}")


def log(text):
    print(text, flush=True)


def cap_memory():
    # Some mutants make a conversion grow without bound (14 GB within a
    # minute under a broken key store); a failed allocation fails the test.
    resource.setrlimit(resource.RLIMIT_AS, (MEMORY_CAP, MEMORY_CAP))


def run(command, cwd=None, env=None, log_file=None, capped=False):
    """Runs command; returns (exit code, output)."""
    result = subprocess.run(command, cwd=cwd, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                            text=True, errors="replace", preexec_fn=cap_memory if capped else None)
    if log_file:
        Path(log_file).write_text(result.stdout)
    return result.returncode, result.stdout


def sync_tree(repo, src):
    """Makes src hold the committed tree, rewriting only files that differ so
    that an earlier build in the copy stays valid."""
    with tempfile.TemporaryDirectory(dir=src.parent) as scratch:
        fresh = Path(scratch) / "tree"
        fresh.mkdir()
        archive = subprocess.run(["git", "-C", str(repo), "archive", "HEAD"], check=True, stdout=subprocess.PIPE).stdout
        archive_path = Path(scratch) / "tree.tar"
        archive_path.write_bytes(archive)
        with tarfile.open(archive_path) as tar:
            if hasattr(tarfile, "data_filter"):
                tar.extractall(fresh, filter="data")
            else:
                tar.extractall(fresh)
        wanted = set()
        for path in fresh.rglob("*"):
            relative = path.relative_to(fresh)
            target = src / relative
            wanted.add(relative)
            if path.is_dir():
                target.mkdir(parents=True, exist_ok=True)
            elif not target.is_file() or target.read_bytes() != path.read_bytes():
                target.parent.mkdir(parents=True, exist_ok=True)
                shutil.copyfile(path, target)
        for path in sorted(src.rglob("*"), reverse=True):
            if path.relative_to(src) not in wanted:
                shutil.rmtree(path) if path.is_dir() else path.unlink()


def safe_env(home):
    """The environment tests run in: their home, settings and temporary
    files in a scratch folder, so a mutant cannot overwrite the user's."""
    if home.exists():
        shutil.rmtree(home)
    env = dict(os.environ)
    for name, sub in [("HOME", ""), ("XDG_CONFIG_HOME", "config"), ("XDG_DATA_HOME", "data"),
                      ("XDG_CACHE_HOME", "cache"), ("XDG_STATE_HOME", "state"), ("XDG_RUNTIME_DIR", "runtime"),
                      ("TMPDIR", "tmp")]:
        folder = home / sub
        folder.mkdir(parents=True, exist_ok=True)
        env[name] = str(folder)
    os.chmod(home / "runtime", 0o700)
    env["QT_QPA_PLATFORM"] = "offscreen"
    return env


class Suite:
    def __init__(self, work, jobs, ctest_jobs, stop_on_failure):
        self.src = work / "src"
        self.build = work / "build"
        self.home = work / "home"
        self.logs = work / "logs"
        self.jobs = jobs
        self.ctest_jobs = ctest_jobs
        self.stop_on_failure = stop_on_failure
        self.targets = []
        self.failed_functions = []

    def configure(self):
        # Every time: tests added or removed since the last run change the list.
        code, output = run(["cmake", "-S", str(self.src), "-B", str(self.build), "-G", "Ninja",
                            "-DCMAKE_BUILD_TYPE=RelWithDebInfo"])
        if code != 0:
            sys.exit(f"mutants: configuring the copy failed:\n{output}")
        # Only what the tests need: the benchmarks and tools are left unbuilt.
        code, output = run(["ctest", "--show-only=json-v1"], cwd=self.build)
        if code != 0:
            sys.exit(f"mutants: ctest cannot list the tests:\n{output}")
        self.targets = sorted({test["name"] for test in json.loads(output)["tests"]})

    def compile(self, log_file):
        code, _ = run(["ninja", "-C", str(self.build), f"-j{self.jobs}"] + self.targets, log_file=log_file)
        return code == 0

    def test(self, log_file):
        """Names of the tests that failed, or None when all passed."""
        failed_list = self.build / "Testing" / "Temporary" / "LastTestsFailed.log"
        if failed_list.exists():
            failed_list.unlink()
        command = ["ctest", "--output-on-failure", "--timeout", "120", "-j", str(self.ctest_jobs)]
        if self.stop_on_failure:
            command.append("--stop-on-failure")
        code, output = run(command, cwd=self.build, env=safe_env(self.home), log_file=log_file, capped=True)
        keep_full_device()
        # The test functions that failed, as QtTest names them.
        self.failed_functions = sorted(set(re.findall(r"^FAIL!  : (\w+::\w+)\(", output, re.MULTILINE)))
        if code == 0:
            return None
        # Lines "N:name"; a run that fails before any test (no such file)
        # still counts as a failure.
        if failed_list.exists():
            names = [line.split(":", 1)[1] for line in failed_list.read_text().splitlines() if ":" in line]
            if names:
                return sorted(names)
        return ["(ctest " + str(code) + ")"]


def keep_full_device():
    """A mutant that saves through a rename, run as root, can put a regular
    file where /dev/full was; the device is made again so that later runs
    (and the machine) still have it."""
    path = "/dev/full"
    try:
        if stat.S_ISCHR(os.stat(path).st_mode):
            return
        os.remove(path)
        os.mknod(path, 0o666 | stat.S_IFCHR, os.makedev(1, 7))
        os.chmod(path, 0o666)
        print("mutants: /dev/full was replaced by a file; made the device again", flush=True)
    except OSError as error:
        print(f"mutants: /dev/full is not the device and cannot be made again: {error}", flush=True)


def apply(src, mutation):
    """The original text of the mutated file, or None when the snippet does
    not occur exactly once."""
    _, file, original, replacement, _ = mutation
    path = src / file
    if not path.is_file():
        return None
    text = path.read_bytes()
    if text.count(original.encode()) != 1:
        return None
    path.write_bytes(text.replace(original.encode(), replacement.encode()))
    return text


def markdown_report(results, selected, started, commit, partial, tests):
    rows = ["| id | file | mutation | result | killed by | s |", "|---|---|---|---|---|---|"]
    for r in results:
        killers = ", ".join(r["killers"]) if r["killers"] else ""
        rows.append(f"| {r['id']} | {r['file']} | {r['description']} | {r['result']} | {killers} | {r['seconds']:.0f} |")
    applied = [r for r in results if r["result"] != "not applied"]
    killed = sum(r["result"] == "killed" for r in results)
    survived = [r for r in results if r["result"] == "survived"]
    build_errors = sum(r["result"] == "build error" for r in results)
    tested = len(applied) - build_errors
    rate = f"{100.0 * killed / tested:.1f} %" if tested else "n/a"
    total_seconds = sum(r["seconds"] for r in results)
    title = "Mutation testing" + (" (partial: %d of %d mutations run)" % (len(results), len(selected)) if partial else "")
    lines = [f"# {title}", "",
             f"Commit {commit}, started {started} UTC, {total_seconds / 60:.0f} min of mutant runs.", "",
             f"- applied: {len(applied)} (not applied: {len(results) - len(applied)})",
             f"- killed: {killed}", f"- survived: {len(survived)}", f"- build errors: {build_errors}",
             f"- kill rate (killed / (applied - build errors)): {rate}", ""]
    if survived:
        lines += ["Survivors: " + ", ".join(r["id"] for r in survived), ""]
    lines += rows
    # Kills per test: a sole kill is a mutant no other test kills.
    kills = {name: (0, 0) for name in tests}
    for r in results:
        if r["result"] != "killed":
            continue
        for name in r["killers"]:
            total, sole = kills.get(name, (0, 0))
            kills[name] = (total + 1, sole + (len(r["killers"]) == 1))
    if kills:
        lines += ["", "| test | kills | sole kills |", "|---|---|---|"]
        for name, (total, sole) in sorted(kills.items(), key=lambda item: (-item[1][0], item[0])):
            lines.append(f"| {name} | {total} | {sole} |")
    # The same by test function: which ones hold kills no other function holds.
    functions = {}
    for r in results:
        for name in r.get("functions", []):
            total, sole = functions.get(name, (0, []))
            functions[name] = (total + 1, sole + ([r["id"]] if len(r["functions"]) == 1 else []))
    if functions:
        lines += ["", "| test function | kills | sole kills |", "|---|---|---|"]
        for name, (total, sole) in sorted(functions.items(), key=lambda item: (-item[1][0], item[0])):
            lines.append(f"| {name} | {total} | {', '.join(sole)} |")
    return "\n".join(lines) + "\n"


def main():
    repo = Path(__file__).resolve().parent.parent
    parser = argparse.ArgumentParser(description="Mutation testing of the committed tree in a copy.")
    parser.add_argument("--list", action="store_true", help="list the mutations and whether each applies to HEAD")
    parser.add_argument("--only", help="run only these mutation ids (comma-separated)")
    parser.add_argument("-j", type=int, default=1, help="build jobs (default 1)")
    parser.add_argument("--ctest-jobs", type=int, default=2, help="tests run at once (default 2)")
    parser.add_argument("--stop-on-failure", action="store_true",
                        help="stop the suite at the first failing test (faster; records one killer)")
    parser.add_argument("--work", default=str(repo / "build-mutants"), help="scratch folder (default build-mutants)")
    parser.add_argument("--report", help="Markdown report (default WORK/report.md)")
    args = parser.parse_args()

    ids = [m[0] for m in MUTATIONS]
    duplicates = {i for i in ids if ids.count(i) > 1}
    if duplicates:
        sys.exit(f"mutants: duplicate ids: {', '.join(sorted(duplicates))}")
    selected = MUTATIONS
    if args.only:
        wanted = args.only.split(",")
        unknown = [i for i in wanted if i not in ids]
        if unknown:
            sys.exit(f"mutants: no mutation {', '.join(unknown)} (see --list)")
        selected = [m for m in MUTATIONS if m[0] in wanted]

    work = Path(args.work).resolve()
    if args.list:
        for m in selected:
            shown = subprocess.run(["git", "-C", str(repo), "show", f"HEAD:{m[1]}"], stdout=subprocess.PIPE,
                                   stderr=subprocess.DEVNULL)
            text = shown.stdout if shown.returncode == 0 else b""
            state = "" if text.count(m[2].encode()) == 1 else "  [not applied: snippet not found once]"
            log(f"{m[0]:26} {m[1]:32} {m[4]}{state}")
        return 0

    signal.signal(signal.SIGTERM, on_signal)
    signal.signal(signal.SIGHUP, on_signal)
    report = Path(args.report).resolve() if args.report else work / "report.md"
    suite = Suite(work, args.j, args.ctest_jobs, args.stop_on_failure)
    suite.src.mkdir(parents=True, exist_ok=True)
    suite.logs.mkdir(parents=True, exist_ok=True)
    commit = subprocess.run(["git", "-C", str(repo), "rev-parse", "--short", "HEAD"], check=True,
                            stdout=subprocess.PIPE, text=True).stdout.strip()
    started = datetime.now(timezone.utc).strftime("%Y-%m-%d %H:%M")

    log(f"mutants: copying commit {commit} into {suite.src}")
    sync_tree(repo, suite.src)
    suite.configure()
    log("mutants: building and testing the unmutated copy")
    if not suite.compile(suite.logs / "unmutated-build.log"):
        sys.exit(f"mutants: the unmutated copy does not build (see {suite.logs / 'unmutated-build.log'})")
    failed = suite.test(suite.logs / "unmutated-test.log")
    if failed:
        sys.exit(f"mutants: the unmutated suite fails ({', '.join(failed)}); "
                 f"fix that first (see {suite.logs / 'unmutated-test.log'})")

    results = []
    try:
        for number, mutation in enumerate(selected, 1):
            mid, file, _, _, description = mutation
            began = time.monotonic()
            killers = []
            functions = []
            original = apply(suite.src, mutation)
            if original is None:
                result = "not applied"
            else:
                try:
                    if not suite.compile(suite.logs / f"{mid}-build.log"):
                        result = "build error"
                    else:
                        killers = suite.test(suite.logs / f"{mid}-test.log") or []
                        functions = [] if not killers else suite.failed_functions + [
                            f"{name} (died)" for name in killers
                            if not any(f.lower().startswith(name.lower() + "::") for f in suite.failed_functions)]
                        result = "killed" if killers else "survived"
                finally:
                    (suite.src / file).write_bytes(original)
            seconds = time.monotonic() - began
            results.append({"id": mid, "file": file, "description": description, "result": result,
                            "killers": killers, "functions": functions, "seconds": seconds})
            log(f"[{number}/{len(selected)}] {mid}: {result}"
                + (f" by {', '.join(killers)}" if killers else "") + f" ({seconds:.0f} s)")
            report.write_text(markdown_report(results, selected, started, commit, len(results) < len(selected),
                                              suite.targets))
    except (KeyboardInterrupt, Interrupted) as stop:
        log(f"mutants: stopped ({stop or 'interrupted'}); the copy is restored")
        report.write_text(markdown_report(results, selected, started, commit, True, suite.targets))
        return 130
    log(f"mutants: report in {report}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
