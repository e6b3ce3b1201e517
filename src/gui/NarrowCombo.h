// A style for a drop-down list too narrow for the toolkit's arrow button: the arrow gets a
// slimmer button so the selected text keeps the rest of the width. Shared, owned by the
// application; GUI thread only.
#pragma once

class QStyle;

namespace quorvel {

QStyle* NarrowComboStyle();

} // namespace quorvel
