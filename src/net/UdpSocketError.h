#pragma once

#include "text/Exception.h"

// Socket and address failures of a UDP endpoint.
class UdpSocketError : public Exception {
  public:
    using Exception::Exception;
};

// A send's destination is a name that could not be resolved.
class HostNotFoundError : public UdpSocketError {
  public:
    using UdpSocketError::UdpSocketError;
};

// A send was asked to send no bytes.
class EmptyDatagramError : public Exception {
  public:
    using Exception::Exception;
};
