// Send flags that only some platforms have.
#pragma once

namespace qvr::client {

// The flag that tells the socket more data follows at once, so it may hold a small frame
// back to fill a segment; 0 where the platform has none.
int MoreFollowsFlag();

}  // namespace qvr::client
