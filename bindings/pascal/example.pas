// SPDX-License-Identifier: MIT
{ A restaurant through the quorvel unit: the customer's receipt on the counter
  printer, the order on the kitchen printer and the drinks on the bar printer,
  all three open at once, one TQuorvelPrinter each. Build lines: README.md here.
    ./example 192.168.0.50 /dev/ttyUSB0 192.168.0.52
  Each printer is an IP address or a serial port (/dev/tty..., COM1 on Windows).
  (Delphi: add quorvel.pas to the project; Quorvel.dll beside the .exe)

  Each ticket follows the till's pattern: print it whole (BeginReceipt ..
  EndReceipt: one write), cut, confirm; held (paper out, cover open): tell the
  operator and confirm again, never resend; outcome unknown (link dropped,
  printer silent): open the printer again and reprint it marked COPY. }
program example;

{$IFDEF FPC}
  {$MODE DELPHI}
{$ENDIF}
{$APPTYPE CONSOLE}

uses
  SysUtils, quorvel;

const
  { Windows-1252 bytes: E3 is a with tilde, E9 e with acute accent }
  Bread = '2 x P'#$E3'o de queijo';
  Savoury = '1 x Coxinha';
  Coffee = '1 x Caf'#$E9;
  Juice = '1 x Suco de laranja';
  { Room for a ticket's printing time; a held printer is reported within 1 s }
  ConfirmMs = 10000;
  { Confirms of a held ticket; each returns within about a second while held }
  HeldConfirms = 300;

type
  TJob = (jobReceipt, jobKitchen, jobBar);

const
  JobName: array[TJob] of string = ('RECEIPT', 'COZINHA', 'BAR');

function Open(const Where: string): TQuorvelPrinter;
begin
  if (Copy(Where, 1, 1) = '/') or (UpperCase(Copy(Where, 1, 3)) = 'COM') then
    Result := TQuorvelPrinter.OpenSerial(AnsiString(Where))
  else
    Result := TQuorvelPrinter.OpenTcp(AnsiString(Where));
end;

{ 48 columns of font A on 80 mm paper }
function Line(const Item, Price: RawByteString): RawByteString;
begin
  Result := Item + StringOfChar(' ', 48 - Length(Item) - Length(Price)) + Price;
end;

procedure Ticket(Printer: TQuorvelPrinter; const Station: RawByteString; const Items: array of RawByteString);
var
  I: Integer;
begin
  Printer.FormattedText(Station + '  MESA 7', QUORVEL_MODE_DOUBLE_SIZE);
  for I := Low(Items) to High(Items) do
    Printer.Text(Items[I], QUORVEL_ALIGN_LEFT, QUORVEL_FONT_A, QUORVEL_SPACING_32, QUORVEL_BOLD_ON);
  Printer.TextFeed('', 4);
end;

procedure Receipt(Printer: TQuorvelPrinter);
var
  Title: RawByteString;
begin
  { A UTF-8 literal goes through Cp1252, which refuses what Windows-1252 lacks }
  Title := Cp1252('RESTAURANTE SÃO JOÃO');
  Printer.FormattedText(Title, QUORVEL_MODE_DOUBLE_SIZE, QUORVEL_ALIGN_CENTER);
  Printer.Text(Line(Bread, '7,00'));
  Printer.Text(Line(Savoury, '6,50'));
  Printer.Text(Line(Coffee, '4,50'));
  Printer.Text(Line(Juice, '8,00'));
  Printer.TextFeed(Line('TOTAL R$', '26,00'), 2, QUORVEL_ALIGN_LEFT, QUORVEL_FONT_A,
                   QUORVEL_SPACING_32, QUORVEL_BOLD_ON);
  Printer.QrCode('https://example.com/r/42');
  Printer.TextFeed('Obrigado!', 4, QUORVEL_ALIGN_CENTER);
end;

{ One job as a whole receipt: collected, then sent in one write and confirmed.
  A reprint says COPY at the top. }
procedure PrintWhole(Printer: TQuorvelPrinter; Job: TJob; Reprint: Boolean);
begin
  Printer.BeginReceipt;
  try
    if Reprint then
      Printer.FormattedText('*** COPY ***', QUORVEL_MODE_DOUBLE_SIZE, QUORVEL_ALIGN_CENTER);
    case Job of
      jobReceipt: Receipt(Printer);
      jobKitchen: Ticket(Printer, 'COZINHA', [Bread, Savoury]);
      jobBar: Ticket(Printer, 'BAR', [Coffee, Juice]);
    end;
    Printer.Cut;
  except
    Printer.CancelReceipt; { nothing of it goes out }
    raise;
  end;
  Printer.EndReceipt(ConfirmMs);
end;

{ Confirms a held job again until it prints (the operator fixes the printer
  meanwhile); EQuorvelOutcomeUnknown goes to the caller. }
function ConfirmWhileHeld(Printer: TQuorvelPrinter): Boolean;
var
  N: Integer;
begin
  Result := False;
  for N := 1 to HeldConfirms do
    try
      Printer.Confirm(ConfirmMs);
      Result := True;
      Exit;
    except
      on EQuorvelHeld do ;
    end;
end;

{ The till's pattern for one printer (see the top of this file). }
function Deliver(var Printer: TQuorvelPrinter; const Where: string; Job: TJob): Boolean;
var
  Attempt: Integer;
begin
  Result := False;
  for Attempt := 0 to 1 do
    try
      try
        PrintWhole(Printer, Job, Attempt = 1);
        Result := True;
        Exit;
      except
        on E: EQuorvelHeld do
        begin
          Writeln(ErrOutput, JobName[Job], ' held: ', E.Message);
          Flush(ErrOutput); { the operator must see it now, not when the program ends }
          Result := ConfirmWhileHeld(Printer); { never resend }
          if not Result then Writeln(ErrOutput, JobName[Job], ': still held');
          Exit;
        end;
      end;
    except
      on E: EQuorvelOutcomeUnknown do
      begin
        { It may have printed: reprint it marked COPY, on a new link }
        if Attempt = 1 then raise;
        Writeln(ErrOutput, JobName[Job], ': ', E.Message, '; reprinting marked COPY');
        Flush(ErrOutput);
        Printer.Free;
        Printer := nil;
        Printer := Open(Where);
      end;
    end;
end;

var
  Printers: array[TJob] of TQuorvelPrinter;
  Job: TJob;
  Printed: Boolean;
begin
  if ParamCount <> 3 then
  begin
    Writeln(ErrOutput, 'usage: example RECEIPT KITCHEN BAR (an IP address or a serial port each)');
    Halt(2);
  end;
  for Job := Low(TJob) to High(TJob) do Printers[Job] := nil;
  Printed := True;
  try
    try
      for Job := Low(TJob) to High(TJob) do
        Printers[Job] := Open(ParamStr(Ord(Job) + 1));
      for Job := Low(TJob) to High(TJob) do
        Printed := Deliver(Printers[Job], ParamStr(Ord(Job) + 1), Job) and Printed;
    except
      on E: EQuorvelPrinter do
      begin
        Writeln(ErrOutput, E.Message);
        Printed := False;
      end;
    end;
  finally
    for Job := Low(TJob) to High(TJob) do Printers[Job].Free;
  end;
  if not Printed then Halt(1);
  Writeln('printed');
end.
