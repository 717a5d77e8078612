#pragma once
// The shape of a window with round corners where no compositor draws them
// with transparency: the window is cut to a rectangle whose corners are
// quarter ellipses (the layout's "roundcorner" gives the ellipse's width and
// height, as the region a Windows window gets), so the corners show what
// lies behind the window instead of the window's square ones.
//
// No toolkit types, so the shape is tested without a display. Any thread.

#include "platform/duilib/UIDefine.h"

#include <vector>

namespace DuiLib {

// The shape of a window of `width` x `height` pixels whose corners are
// quarter ellipses of `cornerWidth` x `cornerHeight` (both > 0), as
// rectangles covering it row band by row band, top to bottom. Empty when
// the window has no area; the whole rectangle when a corner is 0.
std::vector<RECT> RoundedWindowShape(long width, long height, long cornerWidth, long cornerHeight);

}  // namespace DuiLib
