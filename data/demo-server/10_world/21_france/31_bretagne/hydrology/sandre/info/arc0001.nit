Atlasdesk demo server: placeholder for an ArcInfo INFO table file (arc0001.nit).
