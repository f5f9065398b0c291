-- The property table on an office's PostgreSQL server (15 or later), for
-- desktops whose Fudousan.ini names the server. Run it once, as the owner of
-- an empty UTF8 database, for example:
--
--   createdb -E UTF8 -T template0 fudousan
--   psql -v ON_ERROR_STOP=1 -d fudousan -f fudousan_postgresql.sql
--
-- Table "Fudousan": one row per property, the 29 text columns under their
-- exact names (NULL and the empty string stay apart), and "rowid", the row
-- identity the list keeps for each line; its values grow with every
-- registration, so ordering by it gives the order of registration. The index
-- on "Syozai" keeps lookups by location fast; it is not unique, and it is a
-- hash index because locations are only ever compared whole: a B-tree entry
-- is limited to about 2.7 kB, and a longer location would be refused.
--
-- Table "Fudousan_Sakuzyo" keeps deleted properties so that a deletion can be
-- undone: "Sakuzyo_Nitizi", the moment of the deletion (UTC, as
-- 2026-04-01T00:00:00.000Z), then the 29 columns of the row as it was, under
-- a row identity of its own. Desktops remove rows older than 365 days.
CREATE TABLE "Fudousan" (
  rowid bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
  "Kakaku" text,
  "Syozai" text,
  "Koutu" text,
  "Toti_Meitoru" text,
  "Toti_Tubo" text,
  "Tatemono_Meitoru" text,
  "Tatemono_Tubo" text,
  "Timoku_Touki" text,
  "Timoku_Genkyou" text,
  "Tatemono_Kouzou" text,
  "Tatemono_Kouhou" text,
  "Tosikeikaku_Youto" text,
  "Kenpeiritu" text,
  "Yousekiritu" text,
  "Douro_Syurui" text,
  "Douro_Houi" text,
  "Douro_Habain" text,
  "Douro_Maguti" text,
  "Setubi_Suidou" text,
  "Setubi_Denki" text,
  "Setubi_Haisui" text,
  "Setubi_Gasu" text,
  "Hikiwatasi" text,
  "Setubi" text,
  "Keitai" text,
  "Tyuukai" text,
  "No_Fudousan" text,
  "Name_Text" text,
  "Madori" text
);
CREATE INDEX "Fudousan_Syozai" ON "Fudousan" USING hash ("Syozai");

-- A database made before deleted properties were kept gets this table, and
-- the two statements for it at the end of the file, run on their own.
CREATE TABLE IF NOT EXISTS "Fudousan_Sakuzyo" (
  rowid bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
  "Sakuzyo_Nitizi" text,
  "Kakaku" text,
  "Syozai" text,
  "Koutu" text,
  "Toti_Meitoru" text,
  "Toti_Tubo" text,
  "Tatemono_Meitoru" text,
  "Tatemono_Tubo" text,
  "Timoku_Touki" text,
  "Timoku_Genkyou" text,
  "Tatemono_Kouzou" text,
  "Tatemono_Kouhou" text,
  "Tosikeikaku_Youto" text,
  "Kenpeiritu" text,
  "Yousekiritu" text,
  "Douro_Syurui" text,
  "Douro_Houi" text,
  "Douro_Habain" text,
  "Douro_Maguti" text,
  "Setubi_Suidou" text,
  "Setubi_Denki" text,
  "Setubi_Haisui" text,
  "Setubi_Gasu" text,
  "Hikiwatasi" text,
  "Setubi" text,
  "Keitai" text,
  "Tyuukai" text,
  "No_Fudousan" text,
  "Name_Text" text,
  "Madori" text
);

-- The desktops' role: it may read, register and delete properties, and
-- nothing else (no UPDATE, no TRUNCATE, no changes to the table). Give it a
-- password or a client certificate outside this file, for example
--   ALTER ROLE fudousan_desktop PASSWORD '...';   (then ~/.pgpass on each desktop)
CREATE ROLE fudousan_desktop LOGIN;
GRANT USAGE ON SCHEMA public TO fudousan_desktop;
REVOKE ALL ON "Fudousan" FROM PUBLIC;
GRANT SELECT, INSERT, DELETE ON "Fudousan" TO fudousan_desktop;
REVOKE ALL ON "Fudousan_Sakuzyo" FROM PUBLIC;
GRANT SELECT, INSERT, DELETE ON "Fudousan_Sakuzyo" TO fudousan_desktop;
