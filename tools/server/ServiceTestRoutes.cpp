// --test-routes: replies the HTTP client's tests need and the service itself never gives,
// under /rundix-test/:
//   echo                 the request as received: "METHOD TARGET", the header lines, a blank
//                        line, the body (GET and POST)
//   body?text=T&repeat=N&encoding=E&cut=K&length=0
//                        T (percent-decoded) N times, encoded as E: none, gzip, deflate (raw),
//                        zlib-as-deflate or zlib-as-gzip (zlib-wrapped, declared deflate or
//                        gzip); the last K encoded bytes cut off; length=0 sends it chunked,
//                        without Content-Length
//   cookie?set=V&set=W   one Set-Cookie header per value; the body is the Cookie header received
//   redirect?to=PATH     302 to PATH
//   drip?chunks=N&ms=M   N chunks of 1 KiB, M milliseconds apart, without Content-Length
#include <httplib.h>
#include <zlib.h>

#include <chrono>
#include <memory>
#include <thread>

#include "tools/server/ServerOptions.h"
#include "tools/server/ServiceReportStore.h"

namespace rundix::server {
namespace {

constexpr size_t kMaxBody = 256u << 20;

std::string Param(const QueryParameters& params, const std::string& name, const std::string& fallback = {}) {
  for (const auto& [n, v] : params) {
    if (n == name) return v;
  }
  return fallback;
}

bool ParseCount(const std::string& text, size_t max, size_t* out) {
  if (text.empty() || text.size() > 12 || text.find_first_not_of("0123456789") != std::string::npos) return false;
  size_t v = std::stoull(text);
  if (v > max) return false;
  *out = v;
  return true;
}

QueryParameters Params(const httplib::Request& req) {
  size_t q = req.target.find('?');
  return ParseQuery(q == std::string::npos ? std::string() : req.target.substr(q + 1));
}

// windowBits: 15 + 16 gzip, 15 zlib, -15 raw.
bool Compress(const std::string& in, int windowBits, std::string* out) {
  z_stream zs{};
  if (deflateInit2(&zs, Z_DEFAULT_COMPRESSION, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY) != Z_OK) return false;
  out->resize(deflateBound(&zs, static_cast<uLong>(in.size())) + 64);
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
  zs.avail_in = static_cast<uInt>(in.size());
  zs.next_out = reinterpret_cast<Bytef*>(out->data());
  zs.avail_out = static_cast<uInt>(out->size());
  int rc = deflate(&zs, Z_FINISH);
  out->resize(zs.total_out);
  deflateEnd(&zs);
  return rc == Z_STREAM_END;
}

void BadRequest(httplib::Response& res, const std::string& message) {
  res.status = 400;
  res.set_content("{\"code\":400,\"msg\":\"" + message + "\"}", "application/json; charset=utf-8");
}

void SendMaybeChunked(httplib::Response& res, std::string body, const std::string& type, bool withLength) {
  if (withLength) {
    res.set_content(std::move(body), type);
    return;
  }
  auto shared = std::make_shared<std::string>(std::move(body));
  res.set_chunked_content_provider(type, [shared](size_t offset, httplib::DataSink& sink) {
    if (offset >= shared->size()) {
      sink.done();
      return true;
    }
    size_t n = std::min<size_t>(16384, shared->size() - offset);
    return sink.write(shared->data() + offset, n);
  });
}

class ServiceTestRoutes final : public RouteModule {
 public:
  void Register(httplib::Server& server) override {
    server.Get("/rundix-test/echo", &Echo);
    server.Post("/rundix-test/echo", &Echo);
    server.Get("/rundix-test/body", &Body);
    server.Get("/rundix-test/cookie", &Cookie);
    server.Get("/rundix-test/redirect", &Redirect);
    server.Get("/rundix-test/drip", &Drip);
  }

 private:
  static void Echo(const httplib::Request& req, httplib::Response& res) {
    std::string text = req.method + " " + req.target + "\n";
    for (const auto& [name, value] : req.headers) {
      // httplib adds these itself.
      if (name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" || name == "LOCAL_PORT") continue;
      text += name + ": " + value + "\n";
    }
    text += "\n" + req.body;
    res.set_content(text, "text/plain");
  }

  static void Body(const httplib::Request& req, httplib::Response& res) {
    QueryParameters params = Params(req);
    std::string text = Param(params, "text", "{\"code\":200}");
    size_t repeat = 1;
    size_t cut = 0;
    if (!ParseCount(Param(params, "repeat", "1"), kMaxBody, &repeat) ||
        !ParseCount(Param(params, "cut", "0"), kMaxBody, &cut)) {
      return BadRequest(res, "repeat and cut are counts");
    }
    if (!text.empty() && repeat > kMaxBody / text.size()) return BadRequest(res, "body too large");
    // Doubling: a body of many megabytes is made in a few copies.
    const size_t total = text.size() * repeat;
    std::string plain;
    plain.reserve(total);
    if (total > 0) plain = text;
    while (plain.size() < total) plain.append(plain, 0, std::min(plain.size(), total - plain.size()));

    std::string encoding = Param(params, "encoding", "none");
    std::string body;
    std::string declared;
    bool ok = true;
    if (encoding == "none") {
      body = std::move(plain);
    } else if (encoding == "gzip") {
      ok = Compress(plain, 15 + 16, &body);
      declared = "gzip";
    } else if (encoding == "deflate") {
      ok = Compress(plain, -15, &body);
      declared = "deflate";
    } else if (encoding == "zlib-as-deflate") {
      ok = Compress(plain, 15, &body);
      declared = "deflate";
    } else if (encoding == "zlib-as-gzip") {
      ok = Compress(plain, 15, &body);
      declared = "gzip";
    } else {
      return BadRequest(res, "unknown encoding");
    }
    if (!ok) return BadRequest(res, "cannot encode");
    body.resize(body.size() - std::min(cut, body.size()));
    if (!declared.empty()) res.set_header("Content-Encoding", declared);
    SendMaybeChunked(res, std::move(body), "application/octet-stream", Param(params, "length", "1") != "0");
  }

  static void Cookie(const httplib::Request& req, httplib::Response& res) {
    for (const auto& [name, value] : Params(req)) {
      if (name == "set") res.headers.emplace("Set-Cookie", value);
    }
    res.set_content("cookie: " + req.get_header_value("Cookie"), "text/plain");
  }

  static void Redirect(const httplib::Request& req, httplib::Response& res) {
    res.status = 302;
    res.set_header("Location", Param(Params(req), "to", "/rundix-test/echo"));
    res.set_content("moved", "text/plain");
  }

  static void Drip(const httplib::Request& req, httplib::Response& res) {
    QueryParameters params = Params(req);
    size_t chunks = 0;
    size_t ms = 0;
    if (!ParseCount(Param(params, "chunks", "10"), 100000, &chunks) ||
        !ParseCount(Param(params, "ms", "50"), 10000, &ms)) {
      return BadRequest(res, "chunks and ms are counts");
    }
    res.set_chunked_content_provider("application/octet-stream", [chunks, ms](size_t offset, httplib::DataSink& sink) {
      size_t sent = offset / 1024;
      if (sent >= chunks) {
        sink.done();
        return true;
      }
      if (sent > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
      std::string chunk(1024, 'x');
      return sink.write(chunk.data(), chunk.size());
    });
  }
};

}  // namespace

std::unique_ptr<RouteModule> CreateServiceTestRoutes() { return std::make_unique<ServiceTestRoutes>(); }

}  // namespace rundix::server
