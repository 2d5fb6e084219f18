#include "xml/ElementPaths.h"

#include <libxml/tree.h>
#include <libxml/dict.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

bool isAsciiLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// An element name without prefix that XPath reads as a name test, in ASCII
// (names with other characters are left to XPath, which knows the rules).
bool isPlainName(const std::string& step)
{
    if (step.empty() || !(isAsciiLetter(step[0]) || step[0] == '_'))
        return false;
    for (const char c : step)
        if (!(isAsciiLetter(c) || (c >= '0' && c <= '9') || c == '_' || c == '-' || c == '.'))
            return false;
    return true;
}

// The steps of `path`, or none when one of them is more than a name or "*".
std::vector<std::string> plainSteps(const std::string& path)
{
    std::vector<std::string> steps;
    size_t start = 0;
    for (;;) {
        const size_t slash = path.find('/', start);
        std::string step = path.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        if (step != "*" && !isPlainName(step))
            return {};
        steps.push_back(std::move(step));
        if (slash == std::string::npos)
            return steps;
        start = slash + 1;
    }
}

} // namespace

ElementPathSet::ElementPathSet(const std::vector<std::string>& paths)
{
    m_paths.reserve(paths.size());
    for (const std::string& path : paths) {
        Path compiled;
        for (const std::string& step : plainSteps(path)) {
            if (step == "*") {
                compiled.steps.push_back(kAnyName);
                continue;
            }
            const auto known = std::find(m_names.begin(), m_names.end(), step);
            compiled.steps.push_back(size_t(known - m_names.begin()));
            if (known == m_names.end())
                m_names.push_back(step);
        }
        m_paths.push_back(std::move(compiled));
    }
    m_endingWith.resize(m_names.size());
    for (size_t i = 0; i < m_paths.size(); ++i) {
        const std::vector<size_t>& steps = m_paths[i].steps;
        if (steps.empty())
            continue;
        (steps.back() == kAnyName ? m_endingWithAny : m_endingWith[steps.back()]).push_back(i);
    }
}

namespace {

// The names of a document's elements that some path ends with, by the
// dictionary's pointer: each element is tested only against the paths that
// end with its name.
class InternedNames {
public:
    explicit InternedNames(const std::vector<const xmlChar*>& names)
    {
        size_t size = 16;
        while (size < names.size() * 4)
            size *= 2;
        m_slots.assign(size, Slot{nullptr, 0});
        m_mask = size - 1;
        for (size_t k = 0; k < names.size(); ++k) {
            if (!names[k])
                continue; // in no element of the document
            size_t i = slotOf(names[k]);
            while (m_slots[i].name)
                i = (i + 1) & m_mask;
            m_slots[i] = Slot{names[k], k};
        }
    }
    // The index of `name` in the list given; `none` when it is not there.
    size_t find(const xmlChar* name, size_t none) const
    {
        for (size_t i = slotOf(name);; i = (i + 1) & m_mask) {
            if (m_slots[i].name == name)
                return m_slots[i].index;
            if (!m_slots[i].name)
                return none;
        }
    }

private:
    struct Slot {
        const xmlChar* name;
        size_t index;
    };
    size_t slotOf(const xmlChar* name) const
    {
        return size_t((reinterpret_cast<uintptr_t>(name) >> 3) * 0x9E3779B97F4A7C15ULL >> 40) & m_mask;
    }
    std::vector<Slot> m_slots;
    size_t m_mask = 0;
};

} // namespace

std::vector<tXMLNodeList> ElementPathSet::match(const tXMLDocument& doc) const
{
    std::vector<tXMLNodeList> found(m_paths.size());
    const xmlDoc* document = doc.DOMDocument();
    // A parsed document keeps each element name once, in its dictionary,
    // and so does every element added to it: names compare as pointers, and
    // a name the dictionary lacks belongs to no element. Without a
    // dictionary the bytes are compared.
    std::vector<const xmlChar*> interned(m_names.size());
    if (document->dict)
        for (size_t k = 0; k < m_names.size(); ++k)
            interned[k] = xmlDictExists(document->dict, reinterpret_cast<const xmlChar*>(m_names[k].c_str()),
                                        int(m_names[k].size()));
    const InternedNames byPointer(interned);
    auto nameMatches = [&](const xmlNode* node, size_t name) {
        if (!node || node->type != XML_ELEMENT_NODE)
            return false;
        if (name == kAnyName)
            return true;
        // A name test without prefix selects elements in no namespace only.
        if (node->ns)
            return false;
        return document->dict ? node->name == interned[name]
                              : std::strcmp(reinterpret_cast<const char*>(node->name), m_names[name].c_str()) == 0;
    };
    // The name of `node` among those some path ends with; kAnyName for
    // none (or an element in a namespace, which only "*" matches).
    auto lastNameOf = [&](const xmlNode* node) {
        if (node->ns)
            return kAnyName;
        if (document->dict)
            return byPointer.find(node->name, kAnyName);
        for (size_t k = 0; k < m_names.size(); ++k)
            if (std::strcmp(reinterpret_cast<const char*>(node->name), m_names[k].c_str()) == 0)
                return k;
        return kAnyName;
    };
    auto tryPath = [&](const xmlNode* node, size_t i) {
        const std::vector<size_t>& steps = m_paths[i].steps;
        const xmlNode* at = node;
        size_t step = steps.size();
        while (step > 0 && nameMatches(at, steps[step - 1])) {
            at = at->parent;
            --step;
        }
        if (step == 0)
            found[i].push_back(const_cast<xmlNode*>(node));
    };

    const xmlNode* root = xmlDocGetRootElement(document);
    // Every element once, in document order; entity references are not
    // entered, as XPath's child axis does not enter them.
    for (const xmlNode* node = root; node;) {
        if (node->type == XML_ELEMENT_NODE) {
            const size_t name = lastNameOf(node);
            if (name != kAnyName)
                for (const size_t i : m_endingWith[name])
                    tryPath(node, i);
            for (const size_t i : m_endingWithAny)
                tryPath(node, i);
            if (node->children) {
                node = node->children;
                continue;
            }
        }
        while (node != root && !node->next)
            node = node->parent;
        node = node == root ? nullptr : node->next;
    }
    return found;
}
