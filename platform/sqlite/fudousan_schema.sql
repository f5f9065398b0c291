-- The prepared database: table Fudousan, one row per property, 29 text
-- columns that take any text, the empty string and NULL. The index on Syozai
-- keeps lookups and deletes by location fast on tens of thousands of rows; it
-- is not unique, since a location may be registered more than once.
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
