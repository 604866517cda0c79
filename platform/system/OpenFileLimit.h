#pragma once

namespace korven {

// Raises the soft limit of open files to the hard limit, so that one
// connection per terminal of a large batch can be opened. Returns the limit
// in force afterwards.
long raiseOpenFileLimit();
// The limit in force; -1 when there is none.
long openFileLimit();

}  // namespace korven
