#include "net/UdpEndpoint.h"

UdpEndpoint::~UdpEndpoint() = default;
