-- The account the windows search the catalogue with: it may read the search
-- tables and nothing else. Run it in the catalogue's database, as an account
-- that may grant:
--   mariadb -uroot chartroom < chartroom-search-account.sql
-- after putting a password of your own in place of change-me (each user's
-- window asks for it once and keeps it in the desktop's keyring).

CREATE USER IF NOT EXISTS 'atlasdesk_search'@'%' IDENTIFIED BY 'change-me';
GRANT SELECT ON SearchDataSets TO 'atlasdesk_search'@'%';
GRANT SELECT ON SearchBoxes TO 'atlasdesk_search'@'%';
GRANT SELECT ON SearchInfo TO 'atlasdesk_search'@'%';
