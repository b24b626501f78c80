// SPDX-License-Identifier: MIT
{ A short receipt through the quorvel unit. Build lines: README.md here.
  (Delphi: add quorvel.pas to the project; Quorvel.dll beside the .exe) }
program example;

{$IFDEF FPC}
  {$MODE DELPHI}
{$ENDIF}
{$APPTYPE CONSOLE}

uses
  SysUtils, quorvel;

const
  { Windows-1252 bytes: E3 is a with tilde, E9 e with acute accent }
  Item1: PAnsiChar = '2 x P'#$E3'o de queijo                           7,00';
  Item2: PAnsiChar = '1 x Caf'#$E9'                                    4,50';
  Total: PAnsiChar = 'TOTAL R$                                   11,50';

var
  Ip: AnsiString;
  Raw, Title: RawByteString;
  Code, Status: Integer;
begin
  if ParamCount > 0 then Ip := AnsiString(ParamStr(1)) else Ip := '127.0.0.1';
  if AbreSocket(PAnsiChar(Ip), QUORVEL_MODEL_0) <> 1 then
  begin
    Writeln(ErrOutput, 'cannot connect to ', Ip, ':9100: ', LastErrorMessage(Code));
    Halt(1);
  end;
  { A UTF-8 literal goes through Cp1252, which refuses what Windows-1252 lacks }
  Title := Cp1252('PADARIA SÃO JOÃO');
  ImprimeTxFormatado(PAnsiChar(Title), QUORVEL_ALIGN_CENTER, QUORVEL_SPACING_32, QUORVEL_MODE_DOUBLE_SIZE);
  ImprimeTexto(Item1, QUORVEL_ALIGN_LEFT, QUORVEL_FONT_A, QUORVEL_SPACING_32, QUORVEL_BOLD_OFF);
  ImprimeTexto(Item2, QUORVEL_ALIGN_LEFT, QUORVEL_FONT_A, QUORVEL_SPACING_32, QUORVEL_BOLD_OFF);
  ImprimeTextoLF(Total, QUORVEL_ALIGN_LEFT, QUORVEL_FONT_A, QUORVEL_SPACING_32, QUORVEL_BOLD_ON, 2);
  ImprimeQRCODE_M1(QUORVEL_ALIGN_CENTER, QUORVEL_QR_MODEL_2, 4, QUORVEL_QR_ECC_M, 'https://example.com/r/42');
  Raw := Writable('27,100,4'); { ESC d 4: feed four lines before the cut }
  ComandoTx(PAnsiChar(Raw));
  AcionaGuilhotina;
  { A 1 from a print call means the bytes left this computer; the status read
    confirms the printer is there and ready. }
  Status := Le_Status;
  FechaSocket;
  if Status <> QUORVEL_STATUS_READY then
  begin
    Writeln(ErrOutput, 'printer status ', Status, ': check paper and cover');
    Halt(1);
  end;
  Writeln('printed');
end.
