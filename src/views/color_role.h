// The colour roles the views draw with.
#pragma once

namespace dozewick {

// The colour roles the views draw with. `none` is the untinted look: the palette's window-text
// colour; `primary` and `secondary` are the foreground styles; `accent` is the palette's
// highlight.
enum class ColorRole { none, primary, secondary, accent, blue, green, orange, red, purple, white };

}  // namespace dozewick
