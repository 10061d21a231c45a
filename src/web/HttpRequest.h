#pragma once
#include <QByteArray>

// The one request form the live server takes: a request head of at most a few
// KB, method GET or HEAD, no body. Anything else is answered with an error and closed.
struct THttpRequest {
    QByteArray Method;
    QByteArray Path; // target without query and fragment
    bool KeepAlive = false;
    bool HasBody = false;
};

enum class THttpParse { Incomplete, Complete, TooLarge, Bad };

// Parses the request head at the start of buffer. On Complete, consumed is the
// length of the head (a following pipelined request stays in the buffer).
THttpParse ParseHttpRequest(const QByteArray& buffer, int maxHeadBytes, THttpRequest& request,
                            int& consumed);

enum class TLiveRoute { Page, State, Standings, Season, Events, NotFound, MethodNotAllowed, BodyNotAllowed };

// Only the page, the state document and the event stream exist; nothing on the
// disk is ever served.
TLiveRoute RouteFor(const THttpRequest& request);

// A complete response with the headers every answer of the server carries.
QByteArray HttpResponse(int status, const QByteArray& contentType, const QByteArray& body,
                        bool keepAlive, const QByteArray& extraHeaders = {});

// The head of a complete response: the answer to HEAD.
QByteArray WithoutBody(const QByteArray& response);

// German one-line answer for an error status.
QByteArray HttpErrorResponse(int status);
