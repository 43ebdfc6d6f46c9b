#!/usr/bin/env python3
"""Breaks the code on purpose, one fault at a time, and tells which faults the
test suite notices.

Each mutant below is one small, plausible mistake (a changed comparison or
constant, a skipped step, steps in the wrong order). The script copies the
working tree to a scratch folder, builds it once, then for every mutant applies
it, rebuilds, runs the quick tests and, when none of them fails, the longer
ones, and restores the file. A mutant that no test notices is a hole in the
suite (or a change that makes no difference); the tests named for a caught one
are those of the first group that noticed it.

    python3 scripts/mutants.py [--only WORD] [--keep DIR] [--list]
    python3 scripts/mutants.py --random N [--seed S] [--keep DIR] [--list]

With --random, the mutants are not those of the list below but N changes of
one operator each (< and <=, > and >=, == and !=, && and ||, each turned into
its partner), drawn with the seed from every such operator in the code of
src/ (comments and strings left out): a sample of the faults the suite may
meet, not of those its authors thought of. A drawn change that does not build
is replaced by the next one drawn. The summary gives the share caught.

It takes a while (a quarter of a minute to a minute and a half a mutant); it
is not part of the test command. Prints one line a mutant and a summary; exits
1 when any survived, or when any no longer fits the code (its text is gone or
it does not build): such a mutant is brought up to date with the code it breaks.
"""
import argparse
import json
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import time

# (name, file, [(text, replacement), ...]); each text must occur exactly once.
MUTANTS = [
    # Adding photos
    ("free-slot search does not show used slots", "src/layout/addphoto.cpp",
     [("        page.Pic(i).setVisible(true);\n        ++i;", "        ++i;")]),
    ("page full one slot late", "src/layout/addphoto.cpp",
     [("if (i > Page::kPhotos - 1)", "if (i > Page::kPhotos)")]),
    ("ratios swapped", "src/layout/addphoto.cpp",
     [("Ratio::single(probe.Height / probe.Width)", "Ratio::single(probe.Width / probe.Height)")]),
    ("fit: width test strict", "src/layout/addphoto.cpp", [("while (w >= 1500 && h >= 1500)", "while (w > 1500 && h >= 1500)")]),
    ("fit: height test strict", "src/layout/addphoto.cpp", [("while (w >= 1500 && h >= 1500)", "while (w >= 1500 && h > 1500)")]),
    ("fit: step of 10", "src/layout/addphoto.cpp", [("h -= 100;", "h -= 10;")]),
    ("fit: height truncated, not rounded", "src/layout/addphoto.cpp",
     [("std::int32_t h = roundToInt32(height);", "std::int32_t h = std::int32_t(height);")]),
    ("add: page not marked changed", "src/layout/addphoto.cpp",
     [("    // Even a cancelled or refused Add counts as a change.\n    page.LayoutSaved = false;", "")]),
    ("add: CurPic set only after loading", "src/layout/addphoto.cpp",
     [("    page.CurPic = i;\n    placePicture(page, i, path, LoadPicture(path, shownAt), fit);",
       "    placePicture(page, i, path, LoadPicture(path, shownAt), fit);")]),
    ("add: selection look not cleared", "src/layout/addphoto.cpp", [("    page.clearSelectionLook();\n", "")]),
    ("add: new photo flat", "src/layout/addphoto.cpp", [("page.Pic(i).setAppearance(1);", "page.Pic(i).setAppearance(0);")]),
    ("add: photo left hidden", "src/layout/addphoto.cpp",
     [("    fit(page, i);\n    page.Pic(i).setVisible(true);", "    fit(page, i);")]),
    ("add: photo not brought to front", "src/layout/addphoto.cpp", [("    page.bringToFront(i);\n", "")]),
    # Hover zones and resizing
    ("margin: bottom edge inclusive", "src/layout/editing.cpp",
     [("return Y < kMargin || Y > far(H)", "return Y < kMargin || Y >= far(H)")]),
    ("zones: top-right corner gives W", "src/layout/editing.cpp", [("return {6, 'E'};", "return {6, 'W'};")]),
    ("zones: top edge pointer horizontal", "src/layout/editing.cpp", [("return {7, 'N'};", "return {9, 'N'};")]),
    ("zones: edges before corners", "src/layout/editing.cpp",
     [("    if (left && top)\n        return {8, 'N'};", "    if (top)\n        return {7, 'N'};\n    if (left && top)\n        return {8, 'N'};")]),
    ("resize N: width grows the wrong way", "src/layout/editing.cpp",
     [("W - dy * r}", "W + dy * r}")]),
    ("resize W: height uses r", "src/layout/editing.cpp", [("H - dx * q", "H - dx * r")]),
    ("resize: top follows at the minimum", "src/layout/editing.cpp",
     [("out.moveTop = handle == 'N' && out.height > kMinimum;", "out.moveTop = handle == 'N' && out.height >= kMinimum;")]),
    ("resize: left follows for E too", "src/layout/editing.cpp",
     [("out.moveLeft = handle == 'W' &&", "out.moveLeft = (handle == 'W' || handle == 'E') &&")]),
    ("resize: minimum 200", "src/layout/editing.h", [("constexpr double kMinimum = 300;", "constexpr double kMinimum = 200;")]),
    # Pressing, clicking, dragging
    ("press: any button drags", "src/layout/editing.cpp",
     [("if (Button == Qt::LeftButton) {", "if (Button != Qt::NoButton) {")]),
    ("press: not brought to front", "src/layout/editing.cpp",
     [("    m_page.CurPic = Index;\n    m_page.bringToFront(Index);\n", "    m_page.CurPic = Index;\n")]),
    ("press: page not marked changed", "src/layout/editing.cpp",
     [("    // Every press counts as a change, even one that moves nothing.\n    m_page.LayoutSaved = false;", "")]),
    ("press: hover not frozen", "src/layout/editing.cpp",
     [("        state.Resizing = true;\n        state.HandleTracking = false;", "        state.Resizing = true;")]),
    ("release: resize stays armed", "src/layout/editing.cpp",
     [("    state.Dragging = false;\n    state.Resizing = false;", "    state.Dragging = false;")]),
    ("click: others keep their border", "src/layout/editing.cpp",
     [("    m_page.CurPic = Index;\n    m_page.clearSelectionLook();", "    m_page.CurPic = Index;")]),
    ("click: no border", "src/layout/editing.cpp", [("pic.setBorderStyle(1);", "pic.setBorderStyle(0);")]),
    ("click: no stamp", "src/layout/editing.cpp",
     [("    m_page.bringToFront(Index);\n    m_page.CurPic = Index;\n    m_page.clearSelectionLook();",
       "    m_page.CurPic = Index;\n    m_page.clearSelectionLook();")]),
    ("markers: bottom mark at the top", "src/layout/editing.cpp",
     [("m_yRule.Line(225, toSingle(double(T) + H), 325, toSingle(double(T) + H), Qt::black);",
       "m_yRule.Line(225, T, 325, T, Qt::black);")]),
    ("markers: drawn after the move", "src/layout/editing.cpp",
     [("    drawRulerMarkers(Index);\n    ImageControl &pic", "    ImageControl &pic"),
      ("        pic.Move(toSingle(double(pic.Left()) + dx), toSingle(double(pic.Top()) + dy));\n",
       "        pic.Move(toSingle(double(pic.Left()) + dx), toSingle(double(pic.Top()) + dy));\n        drawRulerMarkers(Index);\n")]),
    ("markers: old ones not erased", "src/layout/editing.cpp",
     [("    m_xRule.filledBox(0, 225, m_xRule.ScaleWidth(), 325, Qt::white);\n", "")]),
    ("hover: tracks while frozen", "src/layout/editing.cpp", [("    if (state.HandleTracking) {", "    if (true) {")]),
    ("hover: interior clears the handle", "src/layout/editing.cpp",
     [("        if (zone.handle)\n            state.ActiveHandle = zone.handle;", "        state.ActiveHandle = zone.handle;")]),
    ("drag: pointer not resampled", "src/layout/editing.cpp", [("    state.LastCursorPos = p;\n", "")]),
    ("drag: dy scaled by PixTwipsX", "src/layout/editing.cpp",
     [("(p.y() - state.LastCursorPos.y()) * m_page.PixTwipsY", "(p.y() - state.LastCursorPos.y()) * m_page.PixTwipsX + 1")]),
    ("drag: N moves the top by dx", "src/layout/editing.cpp",
     [("pic.setTop(toSingle(double(pic.Top()) + dy));", "pic.setTop(toSingle(double(pic.Top()) + dx));")]),
    ("drag: move ignores Resizing", "src/layout/editing.cpp",
     [("if (!state.Resizing.value_or(false)) {", "if (true) {")]),
    ("Delete key is Backspace", "src/layout/editing.cpp", [("case Qt::Key_Delete:", "case Qt::Key_Backspace:")]),
    # The page
    ("design places: no swap in later rows", "src/layout/page.cpp",
     [("    if (row > 0 && column < 2)\n        column = 1 - column;\n", "")]),
    ("design places: first row swapped too", "src/layout/page.cpp", [("if (row > 0 && column < 2)", "if (column < 2)")]),
    ("bring to front: not raised", "src/layout/page.cpp", [("    Pic(i).ZOrder();\n    if (ZOrderCount", "    if (ZOrderCount")]),
    ("bring to front: counter by 2", "src/layout/page.cpp", [("ZOrderCount += 1;", "ZOrderCount += 2;")]),
    ("ranks: fractions count", "src/layout/page.cpp", [("if (r == std::floor(r) && r >= lowest", "if (r >= lowest")]),
    ("ranks: counter excluded", "src/layout/page.cpp", [("r <= ZOrderCount", "r < ZOrderCount")]),
    ("ranks: highest first", "src/layout/page.cpp", [("return PicZOrder[a] < PicZOrder[b];", "return PicZOrder[a] > PicZOrder[b];")]),
    ("slot 30 allowed", "src/layout/page.cpp", [("if (i < 0 || i >= kPhotos)", "if (i < 0 || i > kPhotos)")]),
    # Removing
    ("release slot: path kept", "src/layout/removal.cpp", [("page.PicFile.at(c).clear();", "(void)c;")]),
    ("release slot: stays visible", "src/layout/removal.cpp", [("    pic.setVisible(false);\n    pic.setPicture(Picture());", "    pic.setPicture(Picture());")]),
    ("release slot: picture kept", "src/layout/removal.cpp", [("    pic.setVisible(false);\n    pic.setPicture(Picture());", "    pic.setVisible(false);")]),
    ("remove: page not marked changed", "src/layout/removal.cpp",
     [("    page.LayoutSaved = false;\n    freeSlot", "    freeSlot")]),
    ("new: always asks", "src/layout/removal.cpp", [("if (!page.LayoutSaved &&\n", "if (\n")]),
    ("new: counter kept", "src/layout/removal.cpp", [("    page.ZOrderCount = 0;\n", "")]),
    ("new: stamps kept", "src/layout/removal.cpp", [("        page.PicZOrder[i] = 0;\n", "")]),
    ("new: last slot kept", "src/layout/removal.cpp",
     [("for (int i = 0; i < Page::kPhotos; ++i) {\n        freeSlot(page, i, true);", "for (int i = 0; i < Page::kPhotos - 1; ++i) {\n        freeSlot(page, i, true);")]),
    ("new: saved flag not set", "src/layout/removal.cpp", [("    page.LayoutSaved = true;\n", "")]),
    # Widgets
    ("click raised on release outside the photo", "src/layout/photowidget.cpp",
     [(" &&\n                       rect().contains(event->position().toPoint());", ";")]),
    ("double click raises a click too", "src/layout/photowidget.cpp",
     [("void PhotoWidget::mouseDoubleClickEvent(QMouseEvent *)\n{\n    m_clickPending = false;",
       "void PhotoWidget::mouseDoubleClickEvent(QMouseEvent *)\n{\n    m_clickPending = true;")]),
    ("widget size transposed", "src/layout/imagecontrol.cpp",
     [("pixelRect(m_left, m_top, m_width, m_height,", "pixelRect(m_left, m_top, m_height, m_width,")]),
    ("vertical pointer shows horizontal", "src/layout/imagecontrol.cpp",
     [("case 7: m_widget->setCursor(Qt::SizeVerCursor);", "case 7: m_widget->setCursor(Qt::SizeHorCursor);")]),
    ("ruler lines not drawn", "src/layout/ruler.cpp", [("    p.drawLine(a, b);\n", "")]),
    # Layout file text
    ("one digit too many", "src/layoutfile/layoutformat.cpp", [("QString::number(value, 'g', digits)", "QString::number(value, 'g', digits + 1)")]),
    ("lower-case exponent", "src/layoutfile/layoutformat.cpp", [("    text.replace(QLatin1Char('e'), QLatin1Char('E'));\n", "")]),
    ("measured ratio with 15 digits", "src/layoutfile/layoutformat.cpp",
     [("case Ratio::Single: return singleText(float(ratio.value));", "case Ratio::Single: return doubleText(ratio.value);")]),
    ("number: blanks not skipped", "src/layoutfile/layoutformat.cpp",
     [("    while (i < n && (text[i] == ' ' || text[i] == '\\t'))\n        ++i;\n    const qsizetype start", "    const qsizetype start")]),
    ("number: exponent ignored", "src/layoutfile/layoutformat.cpp", [("if (i < n && (text[i] == 'E' || text[i] == 'e')) {", "if (false) {")]),
    ("number: no digits fails", "src/layoutfile/layoutformat.cpp", [("    if (!any)\n        return 0;\n", "")]),
    ("number: infinity accepted", "src/layoutfile/layoutformat.cpp", [("if (!ok || !std::isfinite(value))", "if (!ok)")]),
    ("record ends in LF", "src/layoutfile/layoutformat.cpp", [("    line += \"\\r\\n\";", "    line += \"\\n\";")]),
    ("visible and used swapped", "src/layoutfile/layoutformat.cpp",
     [("        slot.visible ? QStringLiteral(\"Y\") : QStringLiteral(\"N\"),\n        slot.used ? QStringLiteral(\"Y\") : QStringLiteral(\"N\"),",
       "        slot.used ? QStringLiteral(\"Y\") : QStringLiteral(\"N\"),\n        slot.visible ? QStringLiteral(\"Y\") : QStringLiteral(\"N\"),")]),
    ("quote in a path not doubled", "src/layoutfile/layoutformat.cpp", [(".replace('\"', \"\\\"\\\"\")", "")]),
    ("quoted field ends at a comma", "src/layoutfile/layoutformat.cpp",
     [("close = m_data.indexOf('\"', from);", "close = m_data.indexOf(',', from);")]),
    ("unquoted field keeps blanks", "src/layoutfile/layoutformat.cpp",
     [("text = m_data.sliced(start, m_pos - start).toByteArray().trimmed();", "text = m_data.sliced(start, m_pos - start).toByteArray();")]),
    ("CR LF read as two separators", "src/layoutfile/layoutformat.cpp",
     [("        ++m_pos;\n        if (m_pos < m_data.size() && m_data[m_pos] == '\\n')\n            ++m_pos;", "        ++m_pos;")]),
    ("negative width accepted", "src/layoutfile/layoutformat.cpp", [("slot.width = single(record[3], true);", "slot.width = single(record[3], false);")]),
    ("place beyond single accepted", "src/layoutfile/layoutformat.cpp",
     [("if (std::fabs(value) > std::numeric_limits<float>::max() || (size && value < 0))", "if (size && value < 0)")]),
    ("flags read in any case", "src/layoutfile/layoutformat.cpp", [("    if (text == \"Y\")", "    if (text.toUpper() == \"Y\")")]),
    # Saving and opening
    ("folder counts as a photo", "src/layoutfile/findphotos.cpp", [("|| !S_ISREG(st.st_mode) ", "")]),
    ("rank written as the counter", "src/layoutfile/layoutfile.cpp", [("slot.rank = page.PicZOrder[i];", "slot.rank = page.ZOrderCount;")]),
    ("short write accepted", "src/layoutfile/layoutfile.cpp", [("if (written == bytes.size() && file.commit())", "if (file.commit())")]),
    ("save empties the old file first", "src/layoutfile/layoutfile.cpp",
     [("    QSaveFile file(path);\n", "    QFile::resize(path, 0);\n    QSaveFile file(path);\n")]),
    ("buffered save", "src/layoutfile/layoutfile.cpp",
     [("file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)", "file.open(QIODevice::WriteOnly)")]),
    ("save: not marked saved", "src/layoutfile/layoutfile.cpp", [("        return;\n    }\n    page.LayoutSaved = true;\n    page.history", "        return;\n    }\n    page.history")]),
    ("open: not marked saved before the dialog", "src/layoutfile/layoutfile.cpp",
     [("    page.LayoutSaved = true;\n    return true;", "    return true;")]),
    ("open: missing photo not kept as a frame", "src/layoutfile/layoutfile.cpp",
     [("            pic.setMissing(slot.path);\n", "            pic.setPicture(Picture());\n")]),
    ("open: odd flag hides", "src/layoutfile/layoutfile.cpp",
     [("        if (slot.visible)\n            pic.setVisible(*slot.visible);", "        pic.setVisible(slot.visible.value_or(false));")]),
    ("open: counter from the first record", "src/layoutfile/layoutfile.cpp",
     [("page.ZOrderCount = readSlots[lf::kRecords - 1].counter;", "page.ZOrderCount = readSlots[0].counter;")]),
    ("open: rank 0 restacked", "src/layoutfile/layoutfile.cpp", [("page.slotsByRank(1)", "page.slotsByRank(0)")]),
    ("open: a damaged photo blocks the layout", "src/layoutfile/layoutfile.cpp",
     [("    if (!loaded)\n        return; // cancelled", "    if (!loaded || loaded->contains(std::nullopt))\n        return; // cancelled")]),
    ("open: damaged photos not named", "src/layoutfile/layoutfile.cpp", [("    if (!unreadable.isEmpty())\n", "    if (false)\n")]),
    ("open: a photo beside the layout not looked for", "src/layoutfile/layoutfile.cpp",
     [("            paths[i] = beside.value_or(QString());", "            paths[i] = QString();")]),
    ("open: a photo found beside the layout counts as saved", "src/layoutfile/layoutfile.cpp",
     [("    page.LayoutSaved = !relinked;\n    if (!relinked)", "    page.LayoutSaved = true;\n    if (true)")]),
    ("open: missing photos listed without details", "src/layoutfile/layoutfile.cpp",
     [("                                     missingPaths.join(QLatin1Char('\\n'))", "                                     QString()")]),
    ("beside: only the layout's own folder", "src/layoutfile/findphotos.cpp", [("    if (parts.size() > 1)\n", "    if (false)\n")]),
    ("find: one level less", "src/layoutfile/findphotos.cpp", [("depth <= levels", "depth < levels")]),
    ("find: hidden folders searched", "src/layoutfile/findphotos.cpp",
     [("QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot,", "QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden,")]),
    ("find: the last match wins", "src/layoutfile/findphotos.cpp", [("&& !found.count(entry.fileName()) ", "")]),
    ("find: the new path not kept", "src/layoutfile/findphotos.cpp", [("            page.PicFile[foundSlots[j]] = requests[j].path;\n", "")]),
    ("find: page not marked changed", "src/layoutfile/findphotos.cpp", [("        if (relinked)\n            page.LayoutSaved = false;\n", "")]),
    ("find: no step of its own", "src/layoutfile/findphotos.cpp",
     [("        const Recorded step(page, QStringLiteral(\"Find Photos\"));\n", "")]),
    ("layout dialog offers the last name", "src/layoutfile/layoutfile.cpp", [("    cdDialog.FileName.clear();\n", "")]),
    # Printing
    ("print: x from the top", "src/print/printpage.cpp", [("toSingle(pic.Left() * scale)", "toSingle(pic.Top() * scale)")]),
    ("print: scale 2", "src/platform/twips.h", [("constexpr double kPrintScale = 2.14;", "constexpr double kPrintScale = 2;")]),
    ("print: free slots printed", "src/print/printpage.cpp", [("if (page.PicUsed[i] && !page.Pic(i).picture().isEmpty())", "if (!page.Pic(i).picture().isEmpty())")]),
    ("print: rank 0 left out", "src/print/printpage.cpp", [("page.slotsByRank(0)", "page.slotsByRank(1)")]),
    ("print: 1200 dpi", "src/print/printpage.h", [("constexpr double kMaxPrintDpi = 600;", "constexpr double kMaxPrintDpi = 1200;")]),
    ("print: page range offered", "src/print/printpage.cpp",
     [("CommonDialog::NoSelectionChoice | CommonDialog::NoPageRange | CommonDialog::NoPrintToFile", "CommonDialog::NoSelectionChoice | CommonDialog::NoPrintToFile")]),
    ("print: empty page prints a sheet", "src/print/printpage.cpp", [("    if (items.empty())\n        return false;\n", "")]),
    ("print: the line stays after printing", "src/print/printpage.cpp",
     [("    rememberPaper(paper);\n    page.surface()->setPrintableArea(printableOnPage(paper.layout));\n    if (!completed",
       "    rememberPaper(paper);\n    if (!completed")]),
    ("preview: asks while previewing", "src/print/printpage.cpp", [("forReal ? &ui : nullptr", "&ui")]),
    ("paper: cut-off never asked", "src/print/paper.cpp", [("return std::any_of(", "return false && std::any_of(")]),
    ("paper: a tenth of an inch counts as rounding", "src/print/paper.cpp", [("adjusted(-1, -1, 1, 1)", "adjusted(-144, -144, 144, 144)")]),
    ("paper: shrinking minds only the width", "src/print/paper.cpp",
     [("            if (item.twips.bottom() > printable.height())\n                fits = std::min(fits, printable.height() / item.twips.bottom());\n", "")]),
    ("paper: shrinking not remembered", "src/print/paper.cpp", [('paper.shrinkToFit ? QStringLiteral("1")', 'false ? QStringLiteral("1")')]),
    ("paper: margins not remembered", "src/print/paper.cpp", [("numbers({m.left(), m.top(), m.right(), m.bottom()})", "numbers({0, 0, 0, 0})")]),
    ("paper: no area at start-up", "src/app/frmmain.cpp", [("m_page.surface()->setPrintableArea(printableOnPage(rememberedPaper().layout));", "")]),
    ("area: line a pixel inside", "src/layout/page.cpp", [("painter.fillRect(QRect(right, 0,", "painter.fillRect(QRect(right - 1, 0,")]),
    ("area: not over the photos", "src/layout/photowidget.cpp", [("        surface->paintPrintableArea(painter, pos());", "        (void)surface;")]),
    ("area: the View item does not hide it", "src/layout/page.cpp", [("    if (!m_printableShown)\n        return;\n", "")]),
    ("area: hidden, not remembered", "src/app/frmmain.cpp", [('shown ? QStringLiteral("1") : QStringLiteral("0")', 'QStringLiteral("1")')]),
    ("colour: profiles ignored", "src/picture/colour.cpp", [("if (image.isNull() || srgbByName(source))", "if (true)")]),
    ("colour: alpha not copied", "src/picture/colour.cpp", [("(alpha ? cmsFLAGS_COPY_ALPHA : 0)", "0")]),
    ("colour: jpeg profile not read", "src/picture/jpegdecoder.cpp", [("jpeg_read_icc_profile(&s.cinfo, &icc, &iccLength) && icc", "false && icc")]),
    ("colour: heif primaries ignored", "src/picture/heifdecoder.cpp", [("            m_colours.primaries = nclx->color_primaries;\n", "")]),
    ("colour: png profile ignored", "src/picture/picture.cpp", [('(format != "png" || pngHasProfile(file))', '(format != "png")')]),
    ("heif: grid size unchecked", "src/picture/heifdecoder.cpp", [("if (!derived.isEmpty() && qint64(derived.width())", "if (false && qint64(derived.width())")]),
    ("heif: planes by BT.709 for all", "src/picture/heifdecoder.cpp", [("const double kr = matrix == 1 ? 0.2126", "const double kr = matrix != 1 ? 0.2126"), ("const double kb = matrix == 1 ? 0.0722", "const double kb = matrix != 1 ? 0.0722")]),
    ("heif: planes' range turned round", "src/picture/heifdecoder.cpp", [("const double ys = fullRange ? 1 : 255.0 / 219", "const double ys = !fullRange ? 1 : 255.0 / 219")]),
    ("png: read scaled by Qt", "src/picture/picture.cpp", [('format == "gif" || format == "bmp" || format == "png";', 'format == "gif" || format == "bmp";')]),
    ("tooltip: soft up to 1500 ppi", "src/layout/photowidget.cpp", [("if (ppi < 150)", "if (ppi < 1500)")]),
    # Pictures
    ("jpeg: cut-short accepted", "src/picture/jpegdecoder.cpp",
     [("if (ok && (s.source.ended || s.errors.damaged))", "if (ok && s.errors.damaged)")]),
    ("gif: cut-short accepted", "src/picture/picture.cpp",
     [("format == \"gif\" ? readGif(p, n).complete : bmpComplete(p, n)", "format == \"gif\" || bmpComplete(p, n)")]),
    ("png: a chunk may claim more than the file", "src/picture/picture.cpp",
     [("if (length > end - at - 12) {", "if (false) {")]),
    ("png: looked for at the file's start only", "src/picture/picture.cpp",
     [("(at = static_cast<const uchar *>(memmem(at, size_t(end - at), kSignature, 8)))",
       "(at = end - at >= 8 && std::memcmp(at, kSignature, 8) == 0 ? at : nullptr)")]),
    ("bmp: rows not counted", "src/picture/picture.cpp",
     [("(stride == 0 || (n - bmp->offset) / stride >= rows)", "true")]),
    ("no pixel limit", "src/picture/picture.cpp",
     [("        if (qint64(stored.width()) * stored.height() > kMostPixels)\n            throw PictureError(QStringLiteral(\"%1 is too large\").arg(path));\n", "")]),
    ("EXIF orientation ignored", "src/picture/picture.cpp",
     [("transformation = fromExif(header.orientation);", "transformation = fromExif(1);")]),
    ("screen copy of 2048", "src/picture/picture.cpp",
     [("file.natural.boundedTo(QSize(1024, 1024))", "file.natural.boundedTo(QSize(2048, 2048))")]),
    ("render: nothing when the file is gone", "src/picture/picture.cpp",
     [("    if (image.isNull())\n        image = held.copy(inHeld);\n", "")]),
    ("few colours scaled as they are", "src/picture/picture.cpp",
     [("if (wholeStored != stored && !mayBeDeep && !mayBeFewColours)", "if (wholeStored != stored && !mayBeDeep)"),
      ("if (!trueColour(image.format()) || deep(image.format()))", "if (deep(image.format()))")]),
    ("gif screen decoded whole", "src/picture/picture.cpp", [("                    gifFrame = gif;\n", "                    (void)gif;\n")]),
    ("bitmap rows read top-down", "src/picture/picture.cpp",
     [("(bmp.height > 0 ? h - 1 - r : r)", "(bmp.height > 0 ? r : h - 1 - r)")]),
    ("bitmap blue and red swapped", "src/picture/picture.cpp", [("line[x] = qRgb(r / n, g / n, b / n);", "line[x] = qRgb(b / n, g / n, r / n);")]),
    ("bitmap part from the corner", "src/picture/picture.cpp",
     [("bytes * std::clamp<qint64>(qint64(part.left() * w +", "bytes * std::clamp<qint64>(qint64(0 * w +")]),
    ("top-down bitmap refused", "src/picture/picture.cpp",
     [("stored = QSize(qAbs(told.width()), qAbs(told.height()))", "stored = told")]),
    ("decoding on Qt's own threads", "src/picture/picture.cpp",
     [("    static QThreadPool pool;\n    return pool;", "    return *QThreadPool::globalInstance();")]),
    # Waiting
    ("waiting: progress not modal", "src/platform/waiting.h", [("            progress.setWindowModality(Qt::ApplicationModal);\n", "")]),
    ("waiting: Cancel does not stop the work", "src/platform/waiting.h",
     [("        if (!work.isFinished() && cancel) {\n            cancel();", "        if (!work.isFinished() && cancel) {")]),
    ("open: cancelled open applied", "src/layout/loading.cpp",
     [("    if (!done)\n        return std::nullopt;", "")]),
    ("ruler: markers over the scale", "src/layout/ruler.cpp",
     [("    QPainter p(&picture());\n    p.setClipRegion(besideScale());\n    p.setPen(colour);", "    QPainter p(&picture());\n    p.setPen(colour);"),
      ("    QPainter p(&picture());\n    p.setClipRegion(besideScale());\n    p.fillRect(", "    QPainter p(&picture());\n    p.fillRect(")]),
    # Dialogs, settings, main window
    ("file dialog ignores KeepFolder", "src/platform/commondialog.cpp", [("    if (!(Flags & KeepFolder) && kind != FileDialogKind::Folder)\n", "")]),
    ("cancel always raises", "src/platform/commondialog.cpp", [("        if (CancelError)\n            throw DialogCancelled();\n        return;", "        throw DialogCancelled();")]),
    ("chosen name kept relative", "src/platform/commondialog.cpp",
     [("        fileNames << QDir::toNativeSeparators(QFileInfo(QDir::current(), name).absoluteFilePath());", "        fileNames << name;")]),
    ("filters without upper-case patterns", "src/platform/qtui.cpp",
     [("            if (p.trimmed() != QLatin1String(\"*.*\") && p.toUpper() != p)\n                patterns << p.trimmed().toUpper();\n", "")]),
    ("halves rounded away from zero", "src/platform/rounding.h", [("const double r = std::nearbyint(v);", "const double r = std::round(v);")]),
    ("window 250 twips lower", "src/app/frmmain.cpp", [("/ 2 - 250);", "/ 2 + 250);")]),
    ("second copy runs", "src/app/frmmain.cpp", [("    if (App::PrevInstance()) {\n        End();\n        return false;\n    }\n", "")]),
    ("exit does not store the folder", "src/app/frmmain.cpp", [("        return;\n    storeLastFolder();\n    End();", "        return;\n    End();")]),
    ("closing does not store the folder", "src/app/frmmain.cpp", [("    if (!m_ended)\n        Form_Unload();\n", "")]),
    ("start-up keeps stamps", "src/app/frmmain.cpp", [("    m_page.PicZOrder.fill(0);\n", "")]),
    ("toolbar Remove runs the menu's", "src/app/commands.cpp",
     [("[](frmMain &f) { toolbarRemove(f.page()); }", "[](frmMain &f) { mnuRemove_Click(f.page()); }")]),
    ("menu item without its command", "src/app/frmmain.cpp",
     [("            menus.at(QLatin1String(c.menu))->addAction(action);", "            (void)menus;")]),
    ("toolbar keys in any case", "src/app/frmmain.cpp",
     [("if (key == QLatin1String(wanted))", "if (key.compare(QLatin1String(wanted), Qt::CaseInsensitive) == 0)")]),
    ("lock never taken", "src/platform/app.cpp", [("        if (lock->tryLock(0)) {", "        if (false && lock->tryLock(0)) {")]),
    # Scanning
    ("scan: 16-bit samples keep the low byte", "src/scanlib/bmpwriter.cpp", [("return v >> 8;", "return v & 0xFF;")]),
    ("scan: line art inverted", "src/scanlib/bmpwriter.cpp", [("return (bit != gray) ? 255 : 0;", "return (bit == gray) ? 255 : 0;")]),
    ("scan: numbering from 0", "src/scan/scanner.cpp", [("for (int n = 1; paths.size()", "for (int n = 0; paths.size()")]),
    ("scan: taken numbers overwritten", "src/scan/scanner.cpp",
     [("if (!QFileInfo::exists(name) && !QFileInfo(name).isSymLink())", "if (!QFileInfo(name).isSymLink())")]),
    ("scan: Return cancels", "src/scanlib/scandialog.cpp",
     [("        m_buttons->button(QDialogButtonBox::Cancel)->setAutoDefault(false);\n", ""),
      ("        m_scan->setFocus();\n", "        m_buttons->button(QDialogButtonBox::Cancel)->setFocus();\n")]),
    ("scan: Scan made the default before it stands in the dialog", "src/scanlib/scandialog.cpp",
     [("        m_scan->setDefault(true);\n", ""), ("        m_scan->setObjectName(QStringLiteral(\"Scan\"));\n", "        m_scan->setObjectName(QStringLiteral(\"Scan\"));\n        m_scan->setDefault(true);\n")]),
    ("scan: bitmap private to the user", "src/scanlib/bmpwriter.cpp", [("0666 & ~processUmask()", "0600")]),
    ("scan: acquired photo sized as an added one", "src/scan/scanner.cpp",
     [("placePhoto(page, *slot, paths[n], firstShownAt(page, acquiredSize), shrinkAcquired);",
       "placePhoto(page, *slot, paths[n], firstShownAt(page, acquiredSize), fitStartingSize);")]),
    ("scan: acquired photo not marked a change", "src/scan/scanner.cpp",
     [("        page.LayoutSaved = false;\n        for (int n = 0;", "        for (int n = 0;")]),
    ("scan: only the first photo of a scan placed", "src/scan/scanner.cpp",
     [("n < std::min(written, int(paths.size()))", "n < 1")]),
    ("scan: a full page told for each photo", "src/scan/scanner.cpp",
     [("                return; // the files stay, off the page", "                continue;")]),
    # Finding prints on the glass
    ("prints: the glass's border not looked at", "src/scanlib/prints.cpp",
     [("standingApart(s, std::max(1, int(perMm)))", "standingApart(s, 0)")]),
    ("prints: parts of a print not joined", "src/scanlib/prints.cpp",
     [("grown(mask, w, h, std::max(1, int(perMm)))", "grown(mask, w, h, 0)")]),
    ("prints: the largest rectangle", "src/scanlib/prints.cpp", [("area >= least)", "area <= least)")]),
    ("prints: turned straight the wrong way", "src/scanlib/prints.cpp", [("painter.rotate(-turn);", "painter.rotate(turn);")]),
    ("prints: no rows in reading order", "src/scanlib/prints.cpp",
     [("while (end < prints.size() && prints[end].centre.y() < row.bottom())", "while (false)")]),
    ("scan: a dropped print kept", "src/scanlib/scanjobs.cpp",
     [("[at](const QPolygonF &k) { return k.containsPoint(at, Qt::OddEvenFill); }", "[](const QPolygonF &) { return true; }")]),
    ("scan: preview at 75 dpi", "src/scanlib/scanjobs.cpp", [("constexpr double kPreviewDpi = 50;", "constexpr double kPreviewDpi = 75;")]),
    ("scan: a dragged area not kept", "src/scanlib/scandialog.cpp",
     [("m_pane->areaDragged = [this](const QRectF &area) { setArea(area); };", "m_pane->areaDragged = [](const QRectF &) {};")]),
    ("scan: Find photos not remembered", "src/scanlib/scandialog.cpp",
     [("        stored.setValue(kFindPhotos, m_find->isChecked());\n", "")]),
    # Undo, nudging and zoom
    ("undo: saved state not followed", "src/layout/history.cpp",
     [("    m_stack->undo();\n    m_page.LayoutSaved = m_stack->isClean();", "    m_stack->undo();")]),
    ("history: a slot compared without its picture", "src/layout/history.cpp", [("picture == o.picture && ", "")]),
    ("history: stacking not restored", "src/layout/history.cpp",
     [("    for (int i : state.stacking)\n        m_page.Pic(i).ZOrder();\n", "")]),
    ("history: current photo not restored", "src/layout/history.cpp", [("    m_page.CurPic = state.current;\n", "")]),
    ("history: redo does not restore", "src/layout/history.cpp",
     [("        else if (!m_history.m_quiet)\n            m_history.restore(*m_after);", "")]),
    ("history: the picture restored before the missing frame", "src/layout/history.cpp",
     [("        if (s.missing.isEmpty())", "        if (!s.missing.isEmpty())")]),
    ("open: the opened page not marked saved", "src/layoutfile/layoutfile.cpp",
     [("    if (!relinked)\n        page.history().markSaved();", "")]),
    ("a release records no step", "src/layout/editing.cpp",
     [("    m_page.history().commit(now.size() != m_pressedAt.size()", "    (void)now;\n    if (false) m_page.history().commit(now.size() != m_pressedAt.size()")]),
    ("steps: a resize named Move", "src/layout/editing.cpp",
     [("? QStringLiteral(\"Resize\")", "? QStringLiteral(\"Move\")")]),
    ("steps: photos dropped together named as one", "src/layout/addphoto.cpp",
     [("QStringLiteral(\"Add Photos\")", "QStringLiteral(\"Add Photo\")")]),
    ("nudges never merge", "src/layout/editing.cpp",
     [("commit(QStringLiteral(\"Move\"), kNudgeSteps + pic.Index());", "commit(QStringLiteral(\"Move\"));")]),
    ("nudge by two pixels", "src/layout/editing.cpp", [("ShiftModifier ? 10 : 1;", "ShiftModifier ? 10 : 2;")]),
    ("nudge: page not marked changed", "src/layout/editing.cpp",
     [("    drawRulerMarkers(pic.Index());\n    m_page.LayoutSaved = false;", "    drawRulerMarkers(pic.Index());")]),
    ("nudge: a hidden photo moves", "src/layout/editing.cpp",
     [("if (!m_page.CurPic || !m_page.PicUsed[*m_page.CurPic] || !m_page.Pic(*m_page.CurPic).Visible())", "if (!m_page.CurPic)")]),
    ("drag: travel not taken at the zoom", "src/layout/editing.cpp",
     [("(p.x() - state.LastCursorPos.x()) * m_page.PixTwipsX) / m_page.zoom();", "(p.x() - state.LastCursorPos.x()) * m_page.PixTwipsX);")]),
    ("pointer place not taken at the zoom", "src/layout/photowidget.cpp",
     [("Screen::TwipsPerPixelY() / zoom());", "Screen::TwipsPerPixelY());")]),
    ("photos placed at actual size whatever the zoom", "src/layout/imagecontrol.cpp",
     [("static_cast<PageSurface *>(m_widget->parentWidget())->zoom()", "1")]),
    # Several photos at once, and drops
    ("add many: a full page not said", "src/layout/addphoto.cpp",
     [("        if (!findFreeSlot(page, ui))\n            break; // full, and said so", "        if (!std::count(page.PicUsed.begin(), page.PicUsed.begin() + Page::kPhotos, false))\n            break;")]),
    ("add many: files that are no pictures not named", "src/layout/addphoto.cpp", [("    if (!notPictures.isEmpty())\n", "    if (false)\n")]),
    ("add many: one batch only", "src/layout/addphoto.cpp", [("        next += batch.size();", "        next = paths.size();")]),
    ("drop: photos not kept on the page", "src/layout/addphoto.cpp",
     [("return toSingle(std::max(0.0, std::min(want, double(room) - size)));", "return toSingle(want + 0 * (room - size));")]),
    ("drop: photos not apart", "src/layout/addphoto.cpp", [("at.x() + 300.0 * n", "at.x() + 0.0 * n")]),
    ("drop: page changed when nothing was placed", "src/layout/addphoto.cpp", [("    if (placed > 0)\n        page.LayoutSaved = false;", "    page.LayoutSaved = false;")]),
    ("drop: point not taken at the zoom", "src/layout/page.cpp", [("Screen::TwipsPerPixelX() / m_zoom", "Screen::TwipsPerPixelX()")]),
    ("drop: another machine's files taken", "src/layout/page.cpp",
     [("        if (!url.isLocalFile() ||\n            !(host.isEmpty() || host == QLatin1String(\"localhost\") || host == QSysInfo::machineHostName()))",
       "        if (!url.isLocalFile())")]),
    ("drop: a web address skipped, not refused", "src/layout/page.cpp",
     [("            return std::nullopt;\n        paths << fileNameOf", "            continue;\n        paths << fileNameOf")]),
    ("drop: names decoded by Qt", "src/layout/page.cpp",
     [("        paths << fileNameOf(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()));", "        paths << url.toLocalFile();")]),
    ("drop: a layout among photos opened", "src/app/frmmain.cpp",
     [("if (paths.size() == 1 && paths.constFirst().endsWith", "if (paths.constFirst().endsWith")]),
]



# The tests in the order they are run for a mutant, each group only when the
# groups before it notice nothing: the quick ones, those of half a minute, and
# the end-to-end scripts and the installation.
SLOW, SLOWEST = "tst_session|tst_scan|processes", "install|e2e_.*"
GROUPS = [["-E", f"^({SLOW}|{SLOWEST})$"], ["-R", f"^({SLOW})$"], ["-R", f"^({SLOWEST})$"]]


# The operators a random mutant turns into their partners, as the code writes
# them: with a blank on each side (so that neither a template's brackets nor a
# stream's << are taken).
PARTNERS = {" < ": " <= ", " <= ": " < ", " > ": " >= ", " >= ": " > ", " == ": " != ", " != ": " == ",
            " && ": " || ", " || ": " && "}
OPERATOR = re.compile(r" (<=|>=|==|!=|&&|\|\||<|>) ")


def operator_sites(top):
    """Every operator of PARTNERS in src/, outside comments and strings, as
    (path, offset, old, new), in a fixed order."""
    sites = []
    for folder, dirs, names in sorted(os.walk(os.path.join(top, "src"))):
        dirs.sort()
        for name in sorted(names):
            if not name.endswith((".cpp", ".h")):
                continue
            path = os.path.relpath(os.path.join(folder, name), top)
            text = open(os.path.join(top, path)).read()
            offset = 0
            in_comment = False
            for line in text.splitlines(keepends=True):
                code = line
                if in_comment:
                    end = code.find("*/")
                    code = " " * len(code) if end < 0 else " " * (end + 2) + code[end + 2:]
                    in_comment = end < 0
                # Strings, character constants and comments blanked out.
                code = re.sub(r'"(\\.|[^"\\])*"|\'(\\.|[^\'\\])*\'', lambda m: " " * len(m.group()), code)
                cut = code.find("//")
                code = code if cut < 0 else code[:cut]
                start = code.find("/*")
                if start >= 0:
                    end = code.find("*/", start + 2)
                    in_comment = end < 0
                    code = code[:start] + (" " * (len(code) - start) if end < 0 else " " * (end + 2 - start) + code[end + 2:])
                if not code.lstrip().startswith("#"):
                    for m in OPERATOR.finditer(code):
                        sites.append((path, offset + m.start(), m.group(), PARTNERS[m.group()]))
                offset += len(line)
    return sites


def random_mutants(top, count, seed):
    """`count` operator changes drawn with the seed, and those drawn after them
    (to stand in for any that do not build), as mutants of the list's form."""
    sites = operator_sites(top)
    drawn = random.Random(seed).sample(sites, len(sites))
    mutants = []
    for path, offset, old, new in drawn:
        text = open(os.path.join(top, path)).read()
        line = text.count("\n", 0, offset) + 1
        mutants.append((f"{path}:{line} '{old.strip()}' for '{new.strip()}'", path, [(offset, old, new)]))
    return mutants[:count], mutants[count:]


def run(cmd, cwd, env=None, timeout=None):
    return subprocess.run(cmd, cwd=cwd, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          text=True, timeout=timeout)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--only", help="run only mutants whose name or file contains one of these words (comma-separated)")
    ap.add_argument("--keep", help="work in this folder and keep it, with each caught mutant's test output in logs/ "
                                   "(default: a temporary one)")
    ap.add_argument("--list", action="store_true", help="list the mutants and end")
    ap.add_argument("--random", type=int, metavar="N", help="N operator changes drawn at random over src/ instead")
    ap.add_argument("--seed", type=int, default=1, help="the seed of the drawing (default 1)")
    args = ap.parse_args()

    top = run(["git", "rev-parse", "--show-toplevel"], os.getcwd()).stdout.strip()
    words = args.only.split(",") if args.only else []
    spare = []
    if args.random:
        mutants, spare = random_mutants(top, args.random, args.seed)
    else:
        mutants = [m for m in MUTANTS if not words or any(w in m[0] or w in m[1] for w in words)]
    if args.list:
        for name, path, _ in mutants:
            print(f"{path:36} {name}")
        return 0

    work = args.keep or tempfile.mkdtemp(prefix="vintrel-mutants-")
    src = os.path.join(work, "tree")
    if os.path.exists(src):
        shutil.rmtree(src)
    files = run(["git", "ls-files", "-co", "--exclude-standard"], top).stdout.split()
    for f in files:
        if os.path.isfile(os.path.join(top, f)):
            os.makedirs(os.path.dirname(os.path.join(src, f)), exist_ok=True)
            shutil.copy2(os.path.join(top, f), os.path.join(src, f))
    build = os.path.join(src, "build")
    # The session reports a failure at once, without looking for its shortest run.
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", VINTREL_SHRINK_SECONDS="0")
    r = run(["cmake", "-S", ".", "-B", "build", "-G", "Ninja", "-DCMAKE_BUILD_TYPE=RelWithDebInfo"], src)
    r = run(["cmake", "--build", "build"], src) if r.returncode == 0 else r
    if r.returncode != 0:
        print(r.stdout[-3000:])
        return 2
    r = run(["ctest", "--test-dir", "build", "-j2"], src, env)
    if r.returncode != 0:
        print("the unbroken code fails its tests:\n" + r.stdout[-3000:])
        return 2

    survived, caught, broken, replaced = [], 0, 0, 0
    results = {}
    queue = list(mutants)
    while queue:
        name, path, edits = queue.pop(0)
        full = os.path.join(src, path)
        original = open(full).read()
        text = original
        for edit in edits:
            if isinstance(edit[0], int): # a random mutant: at that place
                at, old, new = edit
                text = text[:at] + new + text[at + len(old):] if text[at:at + len(old)] == old else None
                if text is None:
                    print(f"STALE     {name}: the code changed under the drawing")
                    broken += 1
                break
            old, new = edit
            if text.count(old) != 1:
                print(f"STALE     {name}: the text to change occurs {text.count(old)} times in {path}")
                broken += 1
                text = None
                break
            text = text.replace(old, new)
        if text is None:
            continue
        start = time.time()
        try:
            open(full, "w").write(text)
            r = run(["cmake", "--build", "build"], src)
            if r.returncode != 0 and spare: # a drawn change that does not build: the next one drawn
                print(f"no build  {name}: drawn again")
                queue.append(spare.pop(0))
                replaced += 1
                continue
            if r.returncode != 0:
                print(f"NO BUILD  {name}")
                broken += 1
                continue
            try:
                for group in GROUPS:
                    r = run(["ctest", "--test-dir", "build", "-j2", "--timeout", "120", "--output-on-failure"] + group,
                            src, env, timeout=900)
                    if r.returncode != 0:
                        break
                tail = r.stdout.split("The following tests FAILED:")[-1] if "FAILED:" in r.stdout else ""
                failed = [l.split()[2] for l in tail.splitlines() if l.strip()[:1].isdigit() and len(l.split()) > 2]
                # The test functions that failed, for programs that say (QtTest's "FAIL!  : Class::function(row)").
                functions = sorted({l.split("::")[1].split("(")[0] for l in r.stdout.splitlines()
                                    if l.startswith("FAIL!") and "::" in l})
                failed += functions
                ok = r.returncode != 0
                if ok and args.keep: # what each caught mutant made fail, to read
                    os.makedirs(os.path.join(work, "logs"), exist_ok=True)
                    open(os.path.join(work, "logs", name.replace("/", "-") + ".log"), "w").write(r.stdout)
            except subprocess.TimeoutExpired:
                failed, ok = ["(timeout)"], True
            results[name] = failed if ok else []
            if ok:
                caught += 1
                print(f"caught    {name}  [{', '.join(failed)}] {time.time() - start:.0f}s", flush=True)
            else:
                survived.append(name)
                print(f"SURVIVED  {name}", flush=True)
        finally:
            open(full, "w").write(original)
            os.utime(full)
    print(f"\n{caught} caught, {len(survived)} survived, {broken} not applicable, of {len(mutants)}")
    if args.random:
        print(f"random sample of {args.random}, seed {args.seed}: {100 * caught / max(1, caught + len(survived)):.0f} % caught"
              f" ({replaced} drawn again for not building)")
    for name in survived:
        print(f"  survived: {name}")
    if args.keep:
        json.dump(results, open(os.path.join(work, "results.json"), "w"), indent=1)
    else:
        shutil.rmtree(work, ignore_errors=True)
    return 1 if survived or broken else 0


if __name__ == "__main__":
    sys.exit(main())
