#pragma once

#include "text/Exception.h"

// Socket and address failures of the UDP endpoint.
class UdpSocketError : public Exception {
  public:
    using Exception::Exception;
};
