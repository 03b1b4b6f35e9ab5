#include "options.h"

#include <getopt.h>

#include <charconv>
#include <cstring>

namespace faxservice {

namespace {

enum OptionId {
    kPort = 1000,
    kPages,
    kApiKey,
    kRecvTimeout,
    kSendTimeout,
    kMaxConnections,
    kMaxPageBytes,
    kLog,
    kCaptureDir,
    kFaultOn,
    kRefuse,
    kFault,
    kFaultReason,
    kStall,
    kDropAfter,
    kSlowRead,
    kRawResponse,
    kHelp,
};

const option kLongOptions[] = {
    {"port", required_argument, nullptr, kPort},
    {"pages", required_argument, nullptr, kPages},
    {"api-key", required_argument, nullptr, kApiKey},
    {"recv-timeout", required_argument, nullptr, kRecvTimeout},
    {"send-timeout", required_argument, nullptr, kSendTimeout},
    {"max-connections", required_argument, nullptr, kMaxConnections},
    {"max-page-bytes", required_argument, nullptr, kMaxPageBytes},
    {"log", required_argument, nullptr, kLog},
    {"capture-dir", required_argument, nullptr, kCaptureDir},
    {"fault-on", required_argument, nullptr, kFaultOn},
    {"refuse", optional_argument, nullptr, kRefuse},
    {"fault", required_argument, nullptr, kFault},
    {"fault-reason", required_argument, nullptr, kFaultReason},
    {"stall", required_argument, nullptr, kStall},
    {"drop-after", required_argument, nullptr, kDropAfter},
    {"slow-read", required_argument, nullptr, kSlowRead},
    {"raw-response", required_argument, nullptr, kRawResponse},
    {"help", no_argument, nullptr, kHelp},
    {nullptr, 0, nullptr, 0},
};

bool ParseNumber(const char* text, int64_t low, int64_t high, int64_t& out) {
    const char* end = text + std::strlen(text);
    auto [ptr, ec] = std::from_chars(text, end, out);
    return ec == std::errc() && ptr == end && out >= low && out <= high;
}

template <typename T>
bool ParseInto(const char* name, const char* text, int64_t low, int64_t high, T& out,
               std::string& error) {
    int64_t value = 0;
    if (!ParseNumber(text, low, high, value)) {
        error = std::string("--") + name + ": expected a number from " + std::to_string(low) +
                " to " + std::to_string(high) + ", got \"" + text + "\"";
        return false;
    }
    out = static_cast<T>(value);
    return true;
}

}  // namespace

const char* UsageText() {
    return R"(Usage: fax-service [options]

A local stand-in for the fax web service: SOAP 1.2 with MTOM attachments on
http://127.0.0.1:PORT/services/vexloplugin (operations addDocumentToFax and
renderForPrinting). It listens on 127.0.0.1 only and prints the port it
listens on, alone on the first line of standard output. SIGINT or SIGTERM
stops it.

Service:
  --port=N             port to listen on; 0 picks a free one (default 18480,
                       the agent's built-in endpoint)
  --pages=DIR          folder for received pages (default fax-pages; created)
  --api-key=KEY        accept this API key; repeat for more keys. Without any,
                       every key is accepted
  --recv-timeout=SEC   receive time-out per connection (default 10)
  --send-timeout=SEC   send time-out per connection (default 10)
  --max-connections=N  connections served at once (default 32)
  --max-page-bytes=N   largest page accepted (default 67108864)
  --log=FILE           call log (default standard error): one line per call
  --capture-dir=DIR    write the raw bytes of each connection's requests to
                       DIR/connection-N.raw

addDocumentToFax stores the page (an MTOM attachment, or inline base64) as
DIR/<documentId>-<fileName>, and answers result true with a documentId when
the md5 attribute matches the page's bytes and the key is known; otherwise
result false with a description.

renderForPrinting renders the print command into grey-scale PNG pages, each
showing its number, returned as MTOM attachments. The command is a list of
key=value pairs separated by ';' (blanks ignored, keys in any case):
  pages=N              number of pages, 0 to 50 (default 1)
  width=W, height=H    pixel size of every page, 1 to 5000 by 1 to 7000
                       (default 1678 by 2373)
  sizes=WxH,WxH,...    a size for each page (sets the count when pages= is
                       absent)
  broken=N,N,...       these pages (from 1) come back as text, not as images
Example: "pages=3;width=1678;height=600". An empty or bad command is answered
with result false and a description.

Fault injection:
  --fault-on=OPERATION only addDocumentToFax or renderForPrinting gets the
                       answer faults below (default: both)
  --refuse[=TEXT]      answer result false, with TEXT as description if given
  --fault=CODE         answer a SOAP fault with this code, e.g.
                       SOAP-ENV:Sender, SOAP-ENV:Receiver or ns1:Busy
  --fault-reason=TEXT  reason text of the fault (default "Injected fault")
  --stall=MS           wait MS milliseconds before answering
  --raw-response=FILE  answer with the bytes of FILE verbatim (status line,
                       headers and body) and close the connection
  --drop-after=BYTES   close every connection once BYTES bytes of its request
                       have been read (0: right after accepting it)
  --slow-read=RATE     read requests at no more than RATE bytes per second
  --help               this text
)";
}

ParseOutcome ParseOptions(int argc, char** argv, ServiceOptions& options, std::string& error) {
    optind = 1;
    opterr = 0;
    for (;;) {
        int id = getopt_long(argc, argv, "", kLongOptions, nullptr);
        if (id == -1) {
            break;
        }
        bool ok = true;
        switch (id) {
            case kPort:
                ok = ParseInto("port", optarg, 0, 65535, options.port, error);
                break;
            case kPages:
                options.pagesDir = optarg;
                break;
            case kApiKey:
                options.apiKeys.emplace_back(optarg);
                break;
            case kRecvTimeout:
                ok = ParseInto("recv-timeout", optarg, 1, 86400, options.recvTimeoutSec, error);
                break;
            case kSendTimeout:
                ok = ParseInto("send-timeout", optarg, 1, 86400, options.sendTimeoutSec, error);
                break;
            case kMaxConnections:
                ok = ParseInto("max-connections", optarg, 1, 1024, options.maxConnections, error);
                break;
            case kMaxPageBytes:
                ok = ParseInto("max-page-bytes", optarg, 1, INT32_MAX, options.maxPageBytes, error);
                break;
            case kLog:
                options.logFile = optarg;
                break;
            case kCaptureDir:
                options.captureDir = optarg;
                break;
            case kFaultOn:
                options.faults.operation = optarg;
                if (options.faults.operation != "addDocumentToFax" &&
                    options.faults.operation != "renderForPrinting") {
                    error = "--fault-on: expected addDocumentToFax or renderForPrinting";
                    ok = false;
                }
                break;
            case kRefuse:
                options.faults.refuse = true;
                if (optarg) {
                    options.faults.refuseDescription = optarg;
                }
                break;
            case kFault:
                options.faults.faultCode = optarg;
                ok = !options.faults.faultCode.empty();
                if (!ok) {
                    error = "--fault: the code must not be empty";
                }
                break;
            case kFaultReason:
                options.faults.faultReason = optarg;
                break;
            case kStall:
                ok = ParseInto("stall", optarg, 0, 86400000, options.faults.stallMs, error);
                break;
            case kDropAfter:
                ok = ParseInto("drop-after", optarg, 0, INT64_MAX, options.faults.dropAfterBytes,
                               error);
                break;
            case kSlowRead:
                ok = ParseInto("slow-read", optarg, 1, INT64_MAX,
                               options.faults.slowReadBytesPerSec, error);
                break;
            case kRawResponse:
                options.faults.rawResponseFile = optarg;
                break;
            case kHelp:
                return ParseOutcome::Help;
            default:
                error = std::string("unknown or incomplete option ") +
                        (optind > 0 && optind <= argc ? argv[optind - 1] : "");
                ok = false;
                break;
        }
        if (!ok) {
            return ParseOutcome::Error;
        }
    }
    if (optind < argc) {
        error = std::string("unexpected argument ") + argv[optind];
        return ParseOutcome::Error;
    }
    return ParseOutcome::Run;
}

}  // namespace faxservice
