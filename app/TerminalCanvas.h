#pragma once
// Text in the 6x8 font, drawn by us from the font's bits (CellFont). A
// canvas is a picture at one font pixel per logical pixel; Present puts it
// on a widget with every font pixel filling whole device pixels: the edges
// of font pixel x fall on round(x * ratio) device pixels, so neighbouring
// cells always abut, at integer and fractional device pixel ratios alike,
// with no smoothing. Qt would place the glyphs of a bitmap font at their 1x
// size inside scaled cells, and block art would fall apart.
#include <QImage>
#include <QRect>
#include <QString>

#include <string_view>
#include <vector>

#include "nfo/CellFont.h"

class QPainter;

// The 6x8 font's glyphs, read once from the program's resources; nullptr
// when they could not be read.
const CellFont* TerminalGlyphs();

class TerminalCanvas {
 public:
  // A character the font lacks, left for DrawFallbacks: its first cell's top
  // left on the canvas, its cells and itself.
  struct Lacking {
    QPoint topLeft;
    int cells = 1;
    QString character;
    QRgb pen = 0;
  };

  // A canvas of `size` logical pixels, filled with `ground`.
  TerminalCanvas(QSize size, QRgb ground);

  // Draws the glyph of `c` in the cell whose top left is (x, y): its pixels
  // in `pen`, the rest of the cell in `ground`. A character the font lacks
  // leaves its cell in `ground`. Returns whether the font has it.
  bool DrawCell(int x, int y, char32_t c, QRgb pen, QRgb ground);
  // Draws a line of text from the cell at `topLeft` on, on the character
  // grid (wide characters take two cells, TAB goes to the next multiple of
  // 8 columns), cut after `columns` cells. Characters the font lacks are
  // added to `lacking`.
  void DrawLine(QPoint topLeft, std::u16string_view line, int columns, QRgb pen, QRgb ground,
                std::vector<Lacking>& lacking);
  void Fill(const QRect& area, QRgb colour);
  // Inverts a column of pixels: the caret.
  void Invert(const QRect& area);

  // The picture at one font pixel per logical pixel.
  const QImage& Image() const { return image_; }

  // Puts the canvas on `painter` (a painter on a widget, untransformed) with
  // its top left at `topLeft`, in logical coordinates of that widget.
  void Present(QPainter& painter, QPoint topLeft) const;

 private:
  QImage image_;
  const CellFont* font_;
};

// Draws the characters the font lacks over a canvas presented at `topLeft`
// (DrawFallbackGlyph), each in its own pen.
void DrawFallbacks(QPainter& painter, QPoint topLeft, const std::vector<TerminalCanvas::Lacking>& lacking);

// Device pixel edges: where the edges of logical pixels 0..count fall on a
// device whose pixels are `ratio` times smaller, with logical 0 at device
// `origin`, relative to the edge of pixel 0.
std::vector<int> DeviceEdges(int count, double ratio, double origin);

// `image` scaled with nearest-neighbour: source pixel x covers the device
// columns [xEdges[x], xEdges[x + 1]), and likewise for rows.
QImage ScaleToEdges(const QImage& image, const std::vector<int>& xEdges, const std::vector<int>& yEdges);

// `image` with every pixel an n x n square.
QImage ScaleBy(const QImage& image, int n);

// Makes the painter's coordinates device pixels (undone by restore()).
void PaintInDevicePixels(QPainter& painter);

// The logical rectangle `area` of the painter's widget in device pixels, by
// the edge rule above.
QRect DeviceRect(const QPainter& painter, const QRect& area);
