#include "driver/formats/XmlStream.h"

#include <expat.h>

#include <exception>
#include <memory>
#include <string>

#include "driver/formats/Workbook.h"

namespace tabrix::formats {

// Expat is C: exceptions must not cross it, so the callbacks catch, stop the parser, and the
// loop rethrows once expat has returned.
class XmlParse {
 public:
  XmlParse(XmlHandler& handler) : handler_(handler), parser_(XML_ParserCreate(nullptr)) {
    if (!parser_) throw std::bad_alloc();
    XML_SetUserData(parser_, this);
    XML_SetElementHandler(parser_, &XmlParse::Start, &XmlParse::End);
    XML_SetCharacterDataHandler(parser_, &XmlParse::Text);
    XML_SetStartDoctypeDeclHandler(parser_, &XmlParse::Doctype);
  }
  ~XmlParse() { XML_ParserFree(parser_); }

  void Run(ZipPart& part, const std::string& path) {
    constexpr int kChunk = 64 * 1024;
    for (;;) {
      void* buffer = XML_GetBuffer(parser_, kChunk);
      if (!buffer) throw std::bad_alloc();
      const size_t n = part.Read(static_cast<char*>(buffer), kChunk);
      const XML_Status status = XML_ParseBuffer(parser_, static_cast<int>(n), n == 0);
      if (failure_) std::rethrow_exception(failure_);
      if (handler_.stopRequested_) return;
      if (status != XML_STATUS_OK) {
        throw FormatError(path + ": damaged: " + part.name() + ": " +
                          (doctype_ ? std::string("a document type declaration")
                                    : XML_ErrorString(XML_GetErrorCode(parser_))) +
                          " at line " + std::to_string(XML_GetCurrentLineNumber(parser_)));
      }
      if (n == 0) return;
    }
  }

 private:
  void Abort() { XML_StopParser(parser_, XML_FALSE); }
  void AbortIfStopRequested() {
    if (handler_.stopRequested_) Abort();
  }

  static void Start(void* data, const char* name, const char** attributes) {
    auto* self = static_cast<XmlParse*>(data);
    try {
      self->handler_.OnStart(LocalName(name), attributes);
      self->AbortIfStopRequested();
    } catch (...) {
      self->failure_ = std::current_exception();
      self->Abort();
    }
  }
  static void End(void* data, const char* name) {
    auto* self = static_cast<XmlParse*>(data);
    try {
      self->handler_.OnEnd(LocalName(name));
      self->AbortIfStopRequested();
    } catch (...) {
      self->failure_ = std::current_exception();
      self->Abort();
    }
  }
  static void Text(void* data, const char* text, int length) {
    auto* self = static_cast<XmlParse*>(data);
    try {
      self->handler_.OnText(text, length);
    } catch (...) {
      self->failure_ = std::current_exception();
      self->Abort();
    }
  }
  static void Doctype(void* data, const char*, const char*, const char*, int) {
    auto* self = static_cast<XmlParse*>(data);
    self->doctype_ = true;
    self->Abort();
  }

  XmlHandler& handler_;
  XML_Parser parser_;
  std::exception_ptr failure_;
  bool doctype_ = false;
};

void ParsePart(ZipArchive& archive, const std::string& part, XmlHandler& handler) {
  ZipPart stream(archive, part);
  XmlParse parse(handler);
  parse.Run(stream, archive.path());
}

}  // namespace tabrix::formats
