-- The prepared database: table Fudousan, one row per property, 29 text
-- columns that take any text, the empty string and NULL. The index on Syozai
-- keeps lookups and deletes by location fast on tens of thousands of rows; it
-- is not unique, since a location may be registered more than once.
--
-- Table Fudousan_Sakuzyo keeps deleted properties so that a deletion can be
-- undone: Sakuzyo_Nitizi, the moment of the deletion (UTC, as
-- 2026-04-01T00:00:00.000Z, so that text order is time order), then the 29
-- columns of the row as it was. Kept 365 days.
CREATE TABLE Fudousan (
  Kakaku TEXT,
  Syozai TEXT,
  Koutu TEXT,
  Toti_Meitoru TEXT,
  Toti_Tubo TEXT,
  Tatemono_Meitoru TEXT,
  Tatemono_Tubo TEXT,
  Timoku_Touki TEXT,
  Timoku_Genkyou TEXT,
  Tatemono_Kouzou TEXT,
  Tatemono_Kouhou TEXT,
  Tosikeikaku_Youto TEXT,
  Kenpeiritu TEXT,
  Yousekiritu TEXT,
  Douro_Syurui TEXT,
  Douro_Houi TEXT,
  Douro_Habain TEXT,
  Douro_Maguti TEXT,
  Setubi_Suidou TEXT,
  Setubi_Denki TEXT,
  Setubi_Haisui TEXT,
  Setubi_Gasu TEXT,
  Hikiwatasi TEXT,
  Setubi TEXT,
  Keitai TEXT,
  Tyuukai TEXT,
  No_Fudousan TEXT,
  Name_Text TEXT,
  Madori TEXT
);
CREATE INDEX Fudousan_Syozai ON Fudousan (Syozai);
CREATE TABLE Fudousan_Sakuzyo (
  Sakuzyo_Nitizi TEXT,
  Kakaku TEXT,
  Syozai TEXT,
  Koutu TEXT,
  Toti_Meitoru TEXT,
  Toti_Tubo TEXT,
  Tatemono_Meitoru TEXT,
  Tatemono_Tubo TEXT,
  Timoku_Touki TEXT,
  Timoku_Genkyou TEXT,
  Tatemono_Kouzou TEXT,
  Tatemono_Kouhou TEXT,
  Tosikeikaku_Youto TEXT,
  Kenpeiritu TEXT,
  Yousekiritu TEXT,
  Douro_Syurui TEXT,
  Douro_Houi TEXT,
  Douro_Habain TEXT,
  Douro_Maguti TEXT,
  Setubi_Suidou TEXT,
  Setubi_Denki TEXT,
  Setubi_Haisui TEXT,
  Setubi_Gasu TEXT,
  Hikiwatasi TEXT,
  Setubi TEXT,
  Keitai TEXT,
  Tyuukai TEXT,
  No_Fudousan TEXT,
  Name_Text TEXT,
  Madori TEXT
);
