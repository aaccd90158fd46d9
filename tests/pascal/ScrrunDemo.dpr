// Creates a FileSystemObject and a Dictionary through the creator classes of the generated unit
// of scrrun.dll and prints what they answer.
program ScrrunDemo;

{$IFDEF FPC}
  {$MODE DELPHI}
{$ENDIF}
{$APPTYPE CONSOLE}

uses ActiveX, Variants, Scripting_TLB;

var
  Files: IFileSystem3;
  Words: IDictionary;
begin
  CoInitialize(nil);
  Files := CoFileSystemObject.Create;
  WriteLn(string(Files.BuildPath('C:\Data', 'report.txt')));
  WriteLn(string(Files.GetExtensionName('archive.tar.gz')));
  Words := CoDictionary.Create;
  Words.Add('one', 'eins');
  Words.Add('2', 'two');
  WriteLn(Words.Count);
  WriteLn(string(Words.Item['2']));
  WriteLn(Words.Exists('one'));
  WriteLn(Words.Exists('three'));
  Words := nil;
  Files := nil;
  CoUninitialize;
end.
