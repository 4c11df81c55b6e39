#pragma once
// The machine's own IP address in dotted form, for the dialog's "IP Adresse"
// field: the addresses of the host name, the first one that is not a
// loopback address (Debian maps the host name to 127.0.1.1, which no other
// machine can reach); without such one the first address of an interface
// that is up and not a loopback; failing that the first address of the host
// name. Empty when the host name cannot be found at all.
#include <string>

std::string OwnIpAddress();
