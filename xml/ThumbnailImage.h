#pragma once
// Stylesheets written for ArcCatalog show the thumbnail from
// Binary/Thumbnail/img/@src, which ArcCatalog added while rendering; files
// never carry it. It is added here as a data: URI of the decoded picture.
//
// libxml2's HTML writer escapes src attributes character by character, which
// for a picture of 100 KB costs more than the whole transformation. The
// document therefore carries a short stand-in for the Base64 part, and the
// picture replaces it in the finished page.
#include <libxml/tree.h>

#include <string>
#include <utility>
#include <vector>

struct Thumbnails {
    std::vector<std::pair<std::string, std::string>> standIns; // stand-in, Base64 picture

    // Puts the pictures in place of their stand-ins in `page`.
    void putInto(std::string& page) const;
};

// Adds Binary/Thumbnail/img with the data: URI of the picture in
// Binary/Thumbnail/Data to every Binary/Thumbnail of `doc` that has no img,
// when the picture is one a browser shows.
Thumbnails addThumbnailImage(xmlDoc* doc);
