-- Chartroom catalogue schema (MariaDB 10.11 / MySQL 8), utf8mb4 throughout.
-- Table Main holds one row per uploaded data set, keyed by its record
-- number (the time of the upload), so every upload adds rows. Locations,
-- Themes and Sources hold each name once.

CREATE TABLE IF NOT EXISTS Main (
  RecordNumber BIGINT NOT NULL PRIMARY KEY,
  FileName VARCHAR(50),
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
  DatasetSizeMB DOUBLE
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
