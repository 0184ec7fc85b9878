-- The tables of a Velto database that the tool reads, as SQLite stands in for SQL Server.
CREATE TABLE Subscriber (
  SubscriberObjectID  VARCHAR(64),
  UID                 NVARCHAR(64),
  Alias               NVARCHAR(64),
  DisplayName         NVARCHAR(128)
);
CREATE TABLE Credential (
  SubscriberObjectID  VARCHAR(64),
  Credentials         VARBINARY(68),
  IsPrimary           BIT,
  msrepl_tran_version VARCHAR(36)
);
CREATE TABLE SIDHistory (
  ParentObjectID      VARCHAR(64),
  SID                 VARBINARY(68),
  IsPrimary           BIT,
  msrepl_tran_version VARCHAR(36)
);
