#pragma once

namespace zorvik {

/// At process entry, before anything opens a descriptor: opens /dev/null on whichever of 0, 1
/// and 2 is closed, so children can inherit all three and nothing of ours lands on them.
/// False when /dev/null could not be opened.
bool openStandardDescriptors();

}  // namespace zorvik
