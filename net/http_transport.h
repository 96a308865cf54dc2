#pragma once

#include "net/http.h"
#include "net/http_request.h"

// SendHttpRequest puts one checked request on the wire and reads the answer; one file per
// platform implements it (http_transport_posix.cc on libcurl; Windows gets WinHTTP). It
// sends the user agent, exactly the two headers Content-Type and Accept (a GET only Accept)
// besides those the framing needs (Host, Content-Length), never `Expect: 100-continue`, and
// speaks HTTP/1.1. It must keep the status 0 until the response headers are complete, report a
// time-out as kHttpTimeoutMessage, stop reading at the request's body limit with
// HttpTooLargeMessage, and keep whatever body was read on every path.
HttpResponse SendHttpRequest(const HttpRequest& request);
