// The style of the window's check boxes and radio buttons: the application style with the gap
// between indicator and caption narrowed, so the captions fit the fixed control widths.
// GUI thread; one shared instance owned by the application object.
#pragma once

class QStyle;

namespace quorvel {

QStyle* CompactIndicatorStyle();

} // namespace quorvel
