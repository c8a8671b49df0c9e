#pragma once

namespace TQ {

// Function rights a user may hold; the launcher only asks for the right to end the client.
enum RightOperation : int {
    RightExitClient = 1,
};

} // namespace TQ
