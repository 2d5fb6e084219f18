-- Chartroom catalogue schema (MariaDB 10.11 / MySQL 8), utf8mb4 throughout.
-- Table Main holds one row per data set: besides its record number (the
-- time of the upload) it is keyed by the data set's place, its folder and
-- file name, so uploading a data set again replaces its row (REPLACE drops
-- the row the new one clashes with) and the row carries the newer record
-- number. The key is a hash of the two texts, compared byte for byte, as
-- the server's own index on TEXT columns cannot take the whole path; a row
-- without a folder or name (NULL) is keyed by its record number alone.
-- Locations, Themes and Sources hold each name once. SyncState is the
-- catalogue sync's own (atlasdesk-sync): per data set, what it saw of the
-- metadata file and the data when it last wrote the data set's rows.

CREATE TABLE IF NOT EXISTS Main (
  RecordNumber BIGINT NOT NULL PRIMARY KEY,
  FileName VARCHAR(255),
  FileType VARCHAR(100),
  FileExt VARCHAR(50),
  PathFile TEXT,
  ProdName VARCHAR(50),
  ProdEdition VARCHAR(100),
  ProdDesc TEXT,
  ProdURL VARCHAR(255),
  CreatorName VARCHAR(100),
  CreatorNameLong VARCHAR(255),
  CreatorURL VARCHAR(255),
  ProviderName VARCHAR(100),
  ProviderNameLong VARCHAR(255),
  ProviderURL VARCHAR(255),
  ModifDate VARCHAR(100),
  CreationDate VARCHAR(100),
  Rights TEXT,
  RightURL VARCHAR(255),
  Remarks TEXT,
  Scale VARCHAR(50),
  ASITVD VARCHAR(5),
  Theme VARCHAR(100),
  Location VARCHAR(100),
  Unit VARCHAR(100),
  aLeft DOUBLE,
  aRight DOUBLE,
  aBottom DOUBLE,
  aTop DOUBLE,
  West DOUBLE,
  East DOUBLE,
  North DOUBLE,
  South DOUBLE,
  Thumbnail VARCHAR(50),
  RightID SMALLINT,
  Loc VARCHAR(255),
  Thematic VARCHAR(255),
  Source VARCHAR(255),
  DatasetSizeMB DOUBLE,
  DataSetKey BINARY(32) AS (UNHEX(SHA2(CONCAT(PathFile, '/', FileName), 256))) STORED,
  UNIQUE KEY DataSet (DataSetKey)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_unicode_ci;

CREATE TABLE IF NOT EXISTS Locations (
  Location VARCHAR(100) NOT NULL,
  BelongTo TEXT,
  UNIQUE KEY Location (Location)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_unicode_ci;

CREATE TABLE IF NOT EXISTS Themes (
  Data VARCHAR(100) NOT NULL PRIMARY KEY
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_unicode_ci;

CREATE TABLE IF NOT EXISTS Sources (
  Data VARCHAR(100) NOT NULL PRIMARY KEY
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_unicode_ci;

-- What atlasdesk-sync saw of each data set when it last wrote its rows, in
-- the same transaction as those rows: the size and modification time
-- (nanoseconds since 1970) of its metadata file and of its data, and the
-- fingerprint of the configuration the rows were made from. Keyed like
-- Main. Listed is 0 for a data set flagged Ignore, which has no Main row.
CREATE TABLE IF NOT EXISTS SyncState (
  PathFile TEXT NOT NULL,
  FileName VARCHAR(255) NOT NULL,
  MetadataSize BIGINT NOT NULL,
  MetadataTime BIGINT NOT NULL,
  DataSize BIGINT NOT NULL,
  DataTime BIGINT NOT NULL,
  Recipe CHAR(16) NOT NULL,
  Listed TINYINT NOT NULL,
  SyncedAt DATETIME NOT NULL,
  DataSetKey BINARY(32) AS (UNHEX(SHA2(CONCAT(PathFile, '/', FileName), 256))) STORED,
  UNIQUE KEY DataSet (DataSetKey)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_unicode_ci;

-- The team's search (the window's search pane asks these tables when a
-- catalogue server is configured). It covers every data set of the store,
-- as the window's own index does, also those Main does not list (below
-- folders numbered 80 and over, outside numbered folders, without
-- metadata, flagged Ignore): atlasdesk-sync writes them all, "Add to
-- chartroom" those it uploads. One row per data set, keyed by its path
-- (DataSetKey: as Main's, the SHA-256 of its place below the store), with
-- the record number of the moment it was written (its Main row's, when it
-- has one).
--   ItemPath, XmlPath: the data set's and its metadata's paths below the
--     store's root, as the file system names them ('/' between folders; a
--     folder data set's ends with '/'); their byte order is the order of
--     equally ranked results.
--   Title ... Originator: what the result list shows.
--   TitleWords, LabelWords, TextWords: the words the search finds a data
--     set by (the title; with the file name, keywords and places; with the
--     abstract, purpose and originator too), folded and cut by the program
--     as its own index cuts them and written so that the server's
--     FULLTEXT parser takes each word whole (see model/SearchWords.h);
--     their *Length columns rank the shorter field first.
-- SearchBoxes: the geographic box of each data set that has one, one row
-- per part: a box across the antimeridian is its two halves. Its rows go
-- with their data set's row (a REPLACE of that row drops them too).
-- SearchInfo: 'synced', when the last sync ended (UTC).
CREATE TABLE IF NOT EXISTS SearchDataSets (
  DataSetKey BINARY(32) NOT NULL PRIMARY KEY,
  RecordNumber BIGINT NOT NULL,
  ItemPath VARBINARY(4096) NOT NULL,
  XmlPath VARBINARY(4096) NOT NULL,
  Category TINYINT UNSIGNED NOT NULL,
  Title TEXT NOT NULL,
  Date VARCHAR(40) NOT NULL,
  MetadataTime BIGINT NOT NULL,
  West DOUBLE,
  East DOUBLE,
  South DOUBLE,
  North DOUBLE,
  Abstract MEDIUMTEXT NOT NULL,
  Purpose TEXT NOT NULL,
  Keywords TEXT NOT NULL,
  Places TEXT NOT NULL,
  Originator TEXT NOT NULL,
  TitleWords TEXT COLLATE utf8mb4_bin NOT NULL,
  LabelWords TEXT COLLATE utf8mb4_bin NOT NULL,
  TextWords MEDIUMTEXT COLLATE utf8mb4_bin NOT NULL,
  TitleLength TINYINT NOT NULL,
  LabelLength TINYINT NOT NULL,
  TextLength TINYINT NOT NULL,
  FULLTEXT KEY TitleWords (TitleWords),
  FULLTEXT KEY LabelWords (LabelWords),
  FULLTEXT KEY TextWords (TextWords)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_unicode_520_ci;

CREATE TABLE IF NOT EXISTS SearchBoxes (
  DataSetKey BINARY(32) NOT NULL,
  Part TINYINT NOT NULL,
  Category TINYINT UNSIGNED NOT NULL,
  Box GEOMETRY NOT NULL,
  PRIMARY KEY (DataSetKey, Part),
  SPATIAL KEY Box (Box),
  CONSTRAINT SearchBoxOfDataSet FOREIGN KEY (DataSetKey) REFERENCES SearchDataSets (DataSetKey) ON DELETE CASCADE
) ENGINE=InnoDB;

CREATE TABLE IF NOT EXISTS SearchInfo (
  Name VARCHAR(64) NOT NULL PRIMARY KEY,
  Value VARCHAR(255) NOT NULL
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_unicode_520_ci;
