Atlasdesk demo server: placeholder for an ArcInfo INFO table file (ARC0000.NIT).
