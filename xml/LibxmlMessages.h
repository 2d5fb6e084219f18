#pragma once
// What libxml2 and libxslt say while one of our calls runs. Both libraries
// report through handlers that would print to stderr; while an object of
// this class lives, everything they say on this thread is collected here
// instead, so that it can become the message of an exception or be quoted
// on an error page. libxml2 keeps its handlers per thread; libxslt's are
// process-wide, so a collector that also takes libxslt's messages is the
// only one of its kind at a time (the others wait for it).
#include <libxml/xmlerror.h>
#include <libxml/xmlversion.h>

#include <mutex>
#include <optional>
#include <string>

class LibxmlMessages {
public:
    enum class Of { Xml, XmlAndXslt };
    explicit LibxmlMessages(Of of = Of::Xml);
    ~LibxmlMessages();
    LibxmlMessages(const LibxmlMessages&) = delete;
    LibxmlMessages& operator=(const LibxmlMessages&) = delete;

    // An error (not a warning) was reported.
    bool failed() const { return m_failed; }
    // The first error's own words, or `fallback` when it said none.
    std::string firstError(const std::string& fallback) const;
    // Everything said so far, one message a line ("file:line: message"),
    // without blank lines.
    std::string text() const;
    // Adds a line of our own.
    void add(const std::string& line);

    // printf-style sink, also for a transform context's error function;
    // `self` is the collector.
    static void onGeneric(void* self, const char* format, ...);

private:
#if LIBXML_VERSION >= 21200
    static void onStructured(void* self, const xmlError* error);
#else
    static void onStructured(void* self, xmlErrorPtr error);
#endif

    std::optional<std::lock_guard<std::mutex>> m_onlyXsltCollector; // taken first, released last
    bool m_xslt;
    xmlStructuredErrorFunc m_oldStructured;
    void* m_oldStructuredContext;
    xmlGenericErrorFunc m_oldGeneric;
    void* m_oldGenericContext;
    xmlGenericErrorFunc m_oldXslt = nullptr;
    void* m_oldXsltContext = nullptr;
    bool m_failed = false;
    std::string m_firstError;
    std::string m_text;
};
