// SPDX-License-Identifier: MIT
{ Hides what Delphi 7 lacks: placed after SysUtils in the uses clause of a copy
  of quorvel.pas, these names shadow Free Pascal's own, so any use of them that
  the unit does not declare for itself fails to compile. }
unit old_delphi_types;

{$MODE DELPHI}

interface

type
  RawByteString = record Hidden: Byte; end;
  UInt64 = record Hidden: Byte; end;

procedure SetCodePage;

implementation

procedure SetCodePage;
begin
end;

end.
