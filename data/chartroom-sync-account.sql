-- The catalogue account of atlasdesk-sync, with the fewest rights the sync
-- needs. Run it in the catalogue's database, as an account that may grant:
--   mariadb -uroot chartroom < chartroom-sync-account.sql
-- after putting the sync machine's name in place of '%' and a password of
-- your own in place of change-me (the same as in the sync's password file).
--
-- Main: rows are replaced (REPLACE needs INSERT and DELETE), removed, and
-- read for their keys; ALTER only for the table's comment, which tells
-- when the catalogue was last changed. SyncState: the sync's own table.
-- Locations: INSERT IGNORE. Themes and Sources: REPLACE. SearchDataSets,
-- SearchBoxes and SearchInfo (the team's search): REPLACE and DELETE (the
-- rows of SearchDataSets are removed by their keys, which DELETE reads). No
-- UPDATE, no CREATE or DROP, nothing on other databases. The sync lock needs
-- no right on a single server (GET_LOCK); on a Galera cluster it is the row
-- of SyncLock that the run inserts, renews (UPDATE) and deletes.

CREATE USER IF NOT EXISTS 'atlasdesk_sync'@'%' IDENTIFIED BY 'change-me';
GRANT SELECT, INSERT, DELETE, ALTER ON Main TO 'atlasdesk_sync'@'%';
GRANT SELECT, INSERT, DELETE ON SyncState TO 'atlasdesk_sync'@'%';
GRANT INSERT ON Locations TO 'atlasdesk_sync'@'%';
GRANT INSERT, DELETE ON Themes TO 'atlasdesk_sync'@'%';
GRANT INSERT, DELETE ON Sources TO 'atlasdesk_sync'@'%';
GRANT SELECT, INSERT, DELETE ON SearchDataSets TO 'atlasdesk_sync'@'%';
GRANT INSERT, DELETE ON SearchBoxes TO 'atlasdesk_sync'@'%';
GRANT INSERT, DELETE ON SearchInfo TO 'atlasdesk_sync'@'%';
GRANT SELECT, INSERT, UPDATE, DELETE ON SyncLock TO 'atlasdesk_sync'@'%';
