#pragma once

#include "platform/twips.h"
#include "progressbar/progress_bar.h"

namespace rariduze {

// The three drawing parts of a progress bar in device pixels, ready for a drawing layer.
struct ProgressBarPixels {
  PixelRect background;  // Avanzamento1
  PixelRect bar;         // Avanzamento2, never wider than the background nor below zero
  PixelRect caption;     // Avanzamento3's box; the text is drawn from its top
};

// Edges are rounded one by one, so the bar and the background share their left edge and a full
// bar is exactly as wide as the background. Stored settings can put the value outside the
// range: the bar is then held within the background. Negative sizes become empty boxes.
ProgressBarPixels ProgressBarToPixels(const TeskShapeProgressBar& bar, int dpi);

}  // namespace rariduze
