-- The tables of a Velto database that the tool reads, with SQL Server's types, as SQLite
-- stands in for SQL Server.
CREATE TABLE Subscriber (
  SubscriberObjectID  NVARCHAR(64),
  UID                 NVARCHAR(64),
  Alias               NVARCHAR(64),
  DisplayName         NVARCHAR(128)
);
CREATE TABLE Credential (
  SubscriberObjectID  NVARCHAR(64),
  Credentials         VARBINARY(85),
  IsPrimary           BIT,
  msrepl_tran_version UNIQUEIDENTIFIER
);
CREATE TABLE SIDHistory (
  ParentObjectID      NVARCHAR(64),
  SID                 VARBINARY(85),
  IsPrimary           BIT,
  msrepl_tran_version UNIQUEIDENTIFIER
);
