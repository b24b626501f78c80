// SPDX-License-Identifier: MIT
{ The Pascal unit's spool link against a live print service: a handle
  prints two jobs (one per cut, the last handed over on Free), the classic
  link one more, and refusals come back with their codes.
  Usage: spool_client URL PRINTER; prints one line per check. }
program spool_client;

{$IFDEF FPC}
  {$MODE DELPHI}
{$ENDIF}
{$APPTYPE CONSOLE}

uses
  SysUtils, quorvel;

var
  Url, Name: AnsiString;
  P: TQuorvelPrinter;
  Code: Integer;
begin
  Url := AnsiString(ParamStr(1));
  Name := AnsiString(ParamStr(2));
  P := TQuorvelPrinter.OpenSpool(Url, Name);
  try
    P.Text('PAS SPOOL ONE'#10);
    P.Cut;
    P.Text('PAS SPOOL TWO'#10);
  finally
    P.Free;
  end;
  Writeln('handle: ok');
  Writeln('classic: ', quorvel_open_spool(PAnsiChar(Url), PAnsiChar(Name), 0));
  ImprimeTexto('PAS SPOOL CLASSIC'#10, 0, 0, 0, 0);
  Writeln('close: ', FechaPortaSerial);
  try
    TQuorvelPrinter.OpenSpool(Url, 'no-such-printer').Free;
    Writeln('unknown printer: opened');
  except
    on E: EQuorvelPrinter do Writeln('unknown printer: ', E.Code);
  end;
  Code := quorvel_open_spool('ftp://printer', PAnsiChar(Name), 0);
  Writeln('bad url: ', Code, ' ', quorvel_last_error(nil, 0));
end.
